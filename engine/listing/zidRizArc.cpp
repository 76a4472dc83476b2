// The directory reader's ARC walker: ARC and PAK archives and their
// self-extractors (the headers: engine/other/zidArcHeader.h).
//
// The walk steps into the nested archive of an ARC 6 folder, so its entries
// are listed with the folder names in front, and the folder's end marker
// leaves the folder.
#include <string>
#include <vector>

#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidArcHeader.h"
#include "engine/other/zidArcMethods.h"

namespace zid {

namespace {

// Deeper nesting than any real archive has; a damaged one could otherwise
// build folder prefixes as long as the file.
constexpr size_t kMaxDepth = 64;

class TArcWalker : public TRizWalker {
 public:
  explicit TArcWalker(TArcType type) : pak_(type == atPak || type == atPakExe) {}

  void Setup(TRizER& r) override {
    prefix_.clear();
    levels_.clear();
    r.SetHeaderLength(kArcHeaderSize);
  }

  void Step(TRizER& r) override;

 private:
  bool pak_;
  std::string prefix_;          // the folders the walk is in, each with a trailing "/"
  std::vector<size_t> levels_;  // prefix_ length before each folder was entered
};

void TArcWalker::Step(TRizER& r) {
  const int64_t start = r.HeaderOffset();
  const TArcHeader a = ParseArcHeader(r.HeaderBuf(), kArcHeaderSize);
  switch (a.record) {
    case TArcRecord::Bad: {
      const TArcReadAt read = [&r](int64_t p, void* buf, int64_t n) { return r.ReadAt(p, buf, n); };
      return ResyncOrEnd(r, ArcResyncProbe(read, r.WalkSize()), "no entry header");
    }
    case TArcRecord::End: return r.EndWalk();
    case TArcRecord::FolderEnd:
      if (levels_.empty()) return r.EndWalk();
      prefix_.resize(levels_.back());
      levels_.pop_back();
      return MoveWalkTo(r, start, kArcFolderEndSize);
    default: break;
  }
  const std::string name = r.DecodeName(a.name, true);
  const bool folder = a.record == TArcRecord::Folder;
  if (r.AcceptName(prefix_ + name, r.RecurseDirs)) {
    r.FileDate = SwappedDosDateToFileDate(a.dateFirst);
    r.CRC = a.crc;
    r.MethodId = a.method;
    r.MethodName = (pak_ ? PakMethods() : ArcMethods()).Name(a.method);
    r.PackedSize = folder ? 0 : a.packedSize;
    r.UnpackedSize = folder ? 0 : a.originalSize;
    r.ExternalAttr = r.InternalAttr = folder ? 0x10 : 0x20;
    r.VersionMadeBy = r.VersionNeeded = 0;
    r.Encrypted = false;
    r.ReportEntry(folder, false, start);
  }
  if (folder) {
    // Into the folder: its nested archive follows the header.
    if (levels_.size() >= kMaxDepth) return EndWalkBadHeader(r);
    levels_.push_back(prefix_.size());
    prefix_ += name + "/";
  }
  MoveWalkTo(r, start, static_cast<uint64_t>(a.Next(start) - start));
}

}  // namespace

std::unique_ptr<TRizWalker> MakeArcWalker(TArcType type) { return std::make_unique<TArcWalker>(type); }

}  // namespace zid
