// The directory reader's TAR walker. Each step starts at a header block and
// reads the whole entry through the shared tar scanner: GNU long names and
// pax headers give the entry its full name and are not entries themselves.
// Files (links included) are listed with their size as both packed and
// unpacked size (a sparse file: its stored pieces packed); folders are folder
// entries; devices, FIFOs and volume continuations are passed over. A zero
// block ends the walk quietly, the end of the file (no end blocks) with a
// warning, a header that fails its checksum with 25114.
#include <algorithm>
#include <string>

#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidTarHeader.h"

namespace zid {

namespace {

constexpr uint32_t kAttrFolder = 0x10;

class TTarWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override { r.SetHeaderLength(kTarBlock); }
  void Step(TRizER& r) override;
};

void TTarWalker::Step(TRizER& r) {
  const int64_t start = r.HeaderOffset();
  const TTarScanner::TReadAt read = [&r](int64_t pos, uint8_t* buf, int64_t n) { return r.ReadAt(pos, buf, n); };
  TTarScanner scan(read, r.WalkSize(), start);
  TTarItem item;
  const TTarStep step = scan.Next(item);
  if (step == TTarStep::BadHeader) {
    // The damaged block may lie behind records read for the entry: the search starts there.
    const TResyncReadAt bytes = [&r](int64_t p, void* buf, int64_t n) { return r.ReadAt(p, buf, n); };
    const int64_t next = FindNextHeader(bytes, scan.ErrorOffset(), r.WalkSize(), TarResyncProbe(read));
    r.ReportError(r.GetArchiveFile(), DamagedRegionText("bad tar header", scan.ErrorOffset(), next, r.WalkSize()),
                  r.VolumeName, E_BADFILEHEADER);
    if (next < 0) return r.EndWalk();
    r.NextOffset = next;
    return;
  }
  if (step != TTarStep::Entry) {
    if (step == TTarStep::Truncated) r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_READERROR);
    if (step == TTarStep::End && scan.EndedWithoutEndBlock())
      r.ReportError(r.GetArchiveFile(), kTarNoEndBlock, r.VolumeName, E_READERROR);
    return r.EndWalk();
  }
  // The scanner always moves on by at least one block.
  r.NextOffset = std::max(scan.Offset(), start + kTarBlock);
  // The walk stops at the end of the file without another step.
  if (r.NextOffset >= r.WalkSize()) r.ReportError(r.GetArchiveFile(), kTarNoEndBlock, r.VolumeName, E_READERROR);

  ListTarItem(r, item);
}

}  // namespace

void ListTarItem(TRizER& r, const TTarItem& item) {
  if (item.IsDevice() || item.type == 'M') return;
  const bool folder = item.IsDir();
  std::string name = r.DecodeName(item.name, item.nameUtf8, true);
  while (folder && !name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
  if (folder && (name.empty() || name == ".")) return;
  if (!r.AcceptName(name, r.RecurseDirs, true)) return;

  r.FileDate = UnixToFileDate(item.mtime);
  r.UnpackedSize = folder ? 0 : item.size;
  r.PackedSize = folder ? 0 : item.sparse ? item.storedSize : item.size;
  r.CRC = item.checksum;
  r.Encrypted = false;
  r.MethodId = 0;
  r.ExternalAttr = r.InternalAttr = folder ? kAttrFolder : 0;
  r.MethodName = (r.ExternalAttr & 0x10) ? std::string("<Dir>") : TarMethods().Name(0);
  r.VersionMadeBy = r.VersionNeeded = 0;
  if (item.type == '2') r.LinkTarget = r.DecodeName(item.linkName, item.nameUtf8, true);
  r.ReportEntry(folder, true, item.headerOffset);
}

std::unique_ptr<TRizWalker> MakeTarWalker(TArcType) { return std::make_unique<TTarWalker>(); }

}  // namespace zid
