// The directory reader's walker for the families libarchive reads (7z, ISO
// 9660, cpio; engine/other/zidLibArchive.h). libarchive gives headers one
// after the other, not at offsets this loop could step to, so the whole
// list is reported in the set-up and the loop reads nothing more. libarchive
// does not tell a 7z entry's packed size: the unpacked one is shown.
#include <string>

#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidLibArchive.h"

namespace zid {

namespace {

constexpr uint32_t kAttrFolder = 0x10;

class TLibArchiveWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override;
  void Step(TRizER& r) override { r.EndWalk(); }
};

const char* MethodOf(TLaFamily f) { return f == TLaFamily::SevenZip ? "7z" : "Stored"; }

void TLibArchiveWalker::Setup(TRizER& r) {
  r.SetHeaderLength(0);
  TLaFamily family;
  if (!LibArchiveFamily(r.GetArcType(), &family)) return;
  TLibArchive la(family, [&r](int64_t pos, void* buf, int64_t n) { return r.ReadAt(pos, buf, n); }, r.WalkSize(),
                 r.StartOffset);
  if (!la.Open()) return r.ReportError(r.GetArchiveFile(), la.Error(), r.VolumeName, E_BADFILEHEADER);
  TLaEntry e;
  for (TLaStep step; !r.Cancelled() && (step = la.Next(e)) != TLaStep::End;) {
    if (step == TLaStep::Error) return r.ReportError(r.GetArchiveFile(), la.Error(), r.VolumeName, E_BADFILEHEADER);
    if (e.kind == 's') continue;
    const bool folder = e.kind == 'd';
    std::string name = r.DecodeName(e.name, e.utf8, true);
    while (folder && !name.empty() && name.back() == '/') name.pop_back();
    if (folder && (name.empty() || name == ".")) continue;
    if (!r.AcceptName(name, r.RecurseDirs)) continue;
    r.FileDate = UnixToFileDate(e.mtime < 0 ? 0 : e.mtime);
    r.PackedSize = r.UnpackedSize = folder || e.size < 0 ? 0 : e.size;
    r.CRC = 0;
    r.Encrypted = e.encrypted;
    r.MethodId = 0;
    r.ExternalAttr = r.InternalAttr = folder ? kAttrFolder : 0;
    r.MethodName = folder ? "<Dir>" : MethodOf(family);
    r.VersionMadeBy = r.VersionNeeded = 0;
    r.LinkTarget = e.kind == 'l' ? r.DecodeName(e.link, e.utf8, true) : std::string();
    r.ReportEntry(folder, true, e.headerOffset);
  }
}

}  // namespace

std::unique_ptr<TRizWalker> MakeLibArchiveWalker(TArcType) { return std::make_unique<TLibArchiveWalker>(); }

}  // namespace zid
