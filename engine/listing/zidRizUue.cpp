// The directory reader's UUE walker: a uuencoded text is listed as one entry,
// named by its first "begin <mode> <name>" line and sized as the whole file.
// The base64 form of uuencode ("begin-base64 <mode> <name>") is taken too.
// Everything happens in the set-up; the walk loop has nothing to read.
#include <cstring>
#include <string>

#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr size_t kMaxName = 255;

bool StartsWith(const char* p, const char* end, const char* word) {
  const size_t n = std::strlen(word);
  return static_cast<size_t>(end - p) >= n && std::memcmp(p, word, n) == 0;
}

// The name of the first begin line in text; false when there is none.
bool BeginLineName(const char* text, size_t size, std::string& name) {
  const char* const end = text + size;
  for (const char* line = text; line < end;) {
    const char* eol = line;
    while (eol < end && *eol != '\n' && *eol != '\r') ++eol;
    const char* p = nullptr;
    if (StartsWith(line, eol, "begin ")) p = line + 6;
    else if (StartsWith(line, eol, "begin-base64 ")) p = line + 13;
    if (p != nullptr) {
      while (p < eol && *p == ' ') ++p;
      while (p < eol && *p != ' ') ++p;  // the mode
      while (p < eol && *p == ' ') ++p;
      const char* stop = p;
      while (stop < eol && *stop != ' ' && static_cast<size_t>(stop - p) < kMaxName) ++stop;
      name.assign(p, stop);
      return true;
    }
    line = eol < end ? eol + 1 : end;
  }
  return false;
}

class TUueWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override;
  void Step(TRizER&) override {}
};

void TUueWalker::Setup(TRizER& r) {
  r.SetHeaderLength(0);
  const int64_t got = r.ReadAt(0, r.Scratch(), TRizER::kScratchSize);
  std::string name;
  if (got <= 0 || !BeginLineName(reinterpret_cast<const char*>(r.Scratch()), static_cast<size_t>(got), name) ||
      name.empty()) {
    r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_BADFILEHEADER);
    return;
  }
  // One entry, whatever the masks say.
  r.AcceptName(r.DecodeName(name, true), r.RecurseDirs);
  const plat::FileInfo info = plat::FileStat(r.GetArchiveFile());
  r.FileDate = info.exists ? UnixToFileDate(info.mtime) : ZeroDosDate();
  r.PackedSize = r.UnpackedSize = r.WalkSize();
  r.ExternalAttr = r.InternalAttr = 0x20;
  r.CRC = 0;
  r.Encrypted = false;
  r.MethodId = 0;
  r.MethodName.clear();
  r.VersionMadeBy = r.VersionNeeded = 0;
  r.ReportEntry(false, false, 0);
}

}  // namespace

std::unique_ptr<TRizWalker> MakeUueWalker(TArcType) { return std::make_unique<TUueWalker>(); }

}  // namespace zid
