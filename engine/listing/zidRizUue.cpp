// The directory reader's UUE walker: every file of a uuencoded or base64
// text ("begin <mode> <name>" ... "end"), found by the scan the extractor
// uses, with the size its lines decode to. Everything happens in the set-up;
// the walk loop has nothing to read.
#include <string>

#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidUudecode.h"
#include "platform/files.h"

namespace zid {

namespace {

class TUueWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override;
  void Step(TRizER&) override {}
};

void TUueWalker::Setup(TRizER& r) {
  r.SetHeaderLength(0);
  const TUueReadAt read = [&r](int64_t pos, void* buf, int64_t n) { return r.ReadAt(pos, buf, n); };
  const std::vector<TUueFile> files = ScanUue(read, r.WalkSize());
  if (files.empty()) {
    r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_BADFILEHEADER);
    return;
  }
  const plat::FileInfo info = plat::FileStat(r.GetArchiveFile());
  for (const TUueFile& f : files) {
    if (!r.AcceptName(r.DecodeName(f.name, true), r.RecurseDirs)) continue;
    r.FileDate = info.exists ? UnixToFileDate(info.mtime) : ZeroDosDate();
    r.PackedSize = f.dataEnd - f.data;
    r.UnpackedSize = f.size;
    r.ExternalAttr = r.InternalAttr = 0x20;
    r.CRC = 0;
    r.Encrypted = false;
    r.MethodId = 0;
    r.MethodName = f.base64 ? "Base64" : "UUEncoded";
    r.VersionMadeBy = r.VersionNeeded = 0;
    r.ReportEntry(false, false, f.data);
  }
}

}  // namespace

std::unique_ptr<TRizWalker> MakeUueWalker(TArcType) { return std::make_unique<TUueWalker>(); }

}  // namespace zid
