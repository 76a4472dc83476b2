// The directory reader's BH walker: BH archives and their self-extractors.
// Each step reads one 37-byte header (zidBhHeader.h) and its name; the next
// header follows the name, the extra field and the packed data. A block
// without the signature, or with a header length of 0, ends the walk quietly;
// a name cut short by the end of the file ends it with 25236. An encrypted
// entry is listed without its 12-byte encryption header.
#include <string>

#include "engine/lha/zidLhaMethods.h"
#include "engine/lha/zidBhHeader.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizWalker.h"

namespace zid {

namespace {

class TBhWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override { r.SetHeaderLength(kBhHeaderSize); }
  void Step(TRizER& r) override;
};

void TBhWalker::Step(TRizER& r) {
  const int64_t pos = r.HeaderOffset();
  TBhHeader h;
  if (!ParseBhHeader(r.HeaderBuf(), h)) return r.EndWalk();
  // The next header lies at least 37 bytes further on: the walk always moves on.
  r.NextOffset = h.NextOffset(pos);
  std::string raw(h.nameLength, '\0');
  if (r.ReadAt(pos + kBhHeaderSize, raw.data(), h.nameLength) != h.nameLength) {
    r.ReportError(r.GetArchiveFile(), "the archive ends inside a name at offset " + std::to_string(pos),
                  r.VolumeName, E_READERROR);
    return r.EndWalk();
  }
  std::string name = BhDisplayName(raw, r.TranslateOemChar);
  const bool folder = h.IsFolder();
  while (folder && !name.empty() && name.back() == '/') name.pop_back();
  if (name.empty() || !r.AcceptName(name, r.RecurseDirs)) return;

  r.FileDate = DosDateToFileDate(h.dosDate);
  r.VersionMadeBy = h.madeBy;
  r.VersionNeeded = h.needed;
  r.Encrypted = h.Encrypted();
  r.PackedSize = h.ShownPackedSize();
  r.UnpackedSize = h.original;
  r.CRC = h.crc;
  r.MethodId = h.method;
  r.MethodName = BhMethodName(h.method, h.flags);
  r.InternalAttr = 0;
  r.ExternalAttr = h.attr;
  r.ReportEntry(folder, true, pos);
}

}  // namespace

std::unique_ptr<TRizWalker> MakeBhWalker(TArcType) { return std::make_unique<TBhWalker>(); }

}  // namespace zid
