// The directory reader's ZOO walker. The first step reads the archive header
// (it is not an entry and is not counted); each later step reads one
// directory entry and follows its next pointer. A pointer that does not move forward
// ends the walk with 25114; entries marked deleted are not listed.
#include <string>

#include "engine/base/zidBytes.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidZooHeader.h"

namespace zid {

namespace {

class TZooWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override {
    r.StartOffset = 0;
    r.SetHeaderLength(kZooEntrySize);
  }
  void Step(TRizER& r) override;

 private:
  bool first_ = true;
};

void TZooWalker::Step(TRizER& r) {
  const int64_t pos = r.HeaderOffset();
  const uint8_t* h = r.HeaderBuf();
  if (first_) {
    first_ = false;
    const uint32_t start = Get32(h + 24);
    if (static_cast<uint32_t>(start + Get32(h + 28)) != 0) return r.EndWalk();
    if (start <= pos) {
      r.ReportError(r.GetArchiveFile(), "the first directory entry is at offset 0", r.VolumeName, E_BADFILEHEADER);
      return r.EndWalk();
    }
    r.NextOffset = start;
    return;
  }
  TZooEntry e;
  auto read = [&r](int64_t p, void* buf, int64_t n) { return r.ReadAt(p, buf, n); };
  if (ParseZooEntry(read, pos, h, e) != TZooRead::Ok)
    return ResyncOrEnd(r, ZooResyncProbe(read, r.WalkSize()), "no directory entry");
  if (e.next == 0) return r.EndWalk();
  if (!e.deleted && r.AcceptName(ZooEntryName(e, r.TranslateOemChar, false), r.RecurseDirs)) {
    r.FileDate = DosDateToFileDate(e.dosDate);
    r.VersionMadeBy = e.majorVersion;
    r.VersionNeeded = e.minorVersion;
    r.PackedSize = e.packedSize;
    r.UnpackedSize = e.originalSize;
    r.CRC = e.crc;
    r.MethodId = e.method;
    r.MethodName = ZooMethods().Name(e.method);
    r.ReportEntry(false, true, pos);
  }
  if (e.next <= pos) return ResyncOrEnd(r, ZooResyncProbe(read, r.WalkSize()), "the directory chain turns back");
  r.NextOffset = e.next;
  // The walk takes no step where less than a whole entry is left: the end marker is read here.
  if (static_cast<int64_t>(e.next) + kZooEntrySize >= r.WalkSize()) {
    TZooEntry end;
    if (ReadZooEntry(read, e.next, end) != TZooRead::Ok || end.next != 0)
      r.ReportError(r.GetArchiveFile(), "no directory entry at offset " + std::to_string(e.next), r.VolumeName,
                    E_BADFILEHEADER);
    else if (end.cut)
      r.ReportError(r.GetArchiveFile(), kZooEndCut, r.VolumeName, E_READERROR);
  }
}

}  // namespace

std::unique_ptr<TRizWalker> MakeZooWalker(TArcType) { return std::make_unique<TZooWalker>(); }

}  // namespace zid
