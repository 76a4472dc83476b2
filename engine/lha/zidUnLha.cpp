#include "engine/lha/zidUnLha.h"

#include <cstring>
#include <vector>

#include "engine/base/zidStreams.h"
#include "engine/lha/zidLarc.h"
#include "engine/lha/zidLhaHeader.h"
#include "engine/lha/zidLzh5.h"
#include "engine/lha/zidLzhuf.h"
#include "engine/other/zidCopyStored.h"
#include "platform/datetime.h"

namespace zid {

namespace {

enum class TLhaMethod { Unsupported, Stored, Folder, Lzhuf, Lzh, Lz5, Lzs };

// Methods are named in full: LArc's -lz5- is not -lh5- whatever its digit says.
TLhaMethod MethodOf(const TLhaHeader& h, TLzhParams& params) {
  const std::string id = h.MethodId();
  if (id == "-lh0-" || id == "-lz4-") return TLhaMethod::Stored;
  if (id == "-lhd-") return TLhaMethod::Folder;
  if (id == "-lh1-") return TLhaMethod::Lzhuf;
  if (id == "-lz5-") return TLhaMethod::Lz5;
  if (id == "-lzs-") return TLhaMethod::Lzs;
  if (id.compare(0, 3, "-lh") == 0 && id[4] == '-' && LzhLhaParams(id[3], params)) return TLhaMethod::Lzh;
  return TLhaMethod::Unsupported;
}

// The method id as text for a message; bytes outside printable ASCII as "?".
std::string Printable(const std::string& id) {
  std::string s = id;
  for (char& c : s)
    if (c < 0x20 || c > 0x7E) c = '?';
  return s;
}

}  // namespace

void TUnLha::ProcessArchive() {
  TStream32* s = ArchiveStream();
  if (s == nullptr) {
    ArchiveFailed(E_READERROR);
    return;
  }
  const TLhaReadAt readAt = [s](int64_t pos, void* buf, int64_t n) { return ReadFullAt(*s, pos, buf, n); };
  // Scan: the whole list first, then the data.
  std::vector<TLhaHeader> items;
  const TArcType type = GetArcType();
  int64_t offset = LhaFirstHeader(readAt, ArcStartOffset(), type == atLhaExe || type == atLzhExe);
  TLhaParse step;
  TLhaHeader h;
  while ((step = ReadLhaHeader(readAt, offset, h, TranslateOemChar)) == lhOk && !Cancelled()) {
    items.push_back(h);
    offset = h.nextOffset;  // always past the header just read
  }
  if (Cancelled()) return;
  const std::string where = " at offset " + std::to_string(offset);
  if (items.empty() && step != lhEnd) {
    ArchiveFailed(step == lhTruncated ? E_READERROR : E_BADFILEHEADER, "no LHA header" + where);
    return;
  }
  for (const TLhaHeader& item : items) {
    if (Cancelled()) return;
    ExtractItem(item);
  }
  if (Cancelled()) return;
  if (step == lhBad) ArchiveFailed(E_BADFILEHEADER, "bad LHA header" + where);
  else if (step == lhTruncated) ArchiveFailed(E_READERROR, "the archive ends inside the header" + where);
  // A packed size past the end hides whatever followed: the archive was cut or the size is wrong.
  else if (offset > ArchiveSize() && !items.empty())
    ReportError(items.back().name, "the data runs past the end of the archive", VolumeName, E_READERROR);
}

void TUnLha::ExtractItem(const TLhaHeader& h) {
  TEntry e;
  e.storedName = h.name;
  e.packedSize = h.packedSize;
  e.unpackedSize = h.originalSize;
  e.crc = h.crc;
  e.crcKind = 16;
  e.unixTime = h.unixTime;
  e.dosDate = h.unixTime >= 0 ? plat::UnixToDosDateTime(h.unixTime) : h.dosTime;
  e.attr = h.attr;
  e.unixMode = h.unixMode & 0777;
  e.isDir = h.isDir;

  TLzhParams params{};
  const TLhaMethod method = MethodOf(h, params);
  if (h.isSymlink) {
    // The loop makes it when its target stays inside the folder.
    e.isDir = false;
    e.isSymlink = true;
    e.linkTarget = h.linkTarget;
    ExtractEntry(e, [] { return true; });
    return;
  }
  if (method == TLhaMethod::Unsupported) {
    RejectEntry(e, E_UNSUPPORTEDMETHOD, Printable(h.MethodId()));
    return;
  }
  if (method == TLhaMethod::Folder) {
    ExtractEntry(e, [] { return true; });
    return;
  }
  ExtractEntry(e, [this, &h] { return Decode(h); });
}

bool TUnLha::Decode(const TLhaHeader& h) {
  TLzhParams params{};
  const TLhaMethod method = MethodOf(h, params);
  int64_t produced = 0;
  TDecodeJob job = EntryJob(h.dataOffset, h.packedSize, h.originalSize, produced);
  int r;
  switch (method) {
    case TLhaMethod::Stored: r = CopyStored(job); break;
    case TLhaMethod::Lzhuf: r = LzhufDecode(job); break;
    case TLhaMethod::Lzh: r = LzhDecode(job, params); break;
    case TLhaMethod::Lz5: r = Lz5Decode(job); break;
    case TLhaMethod::Lzs: r = LzsDecode(job); break;
    default: r = drInvalidData; break;
  }
  return DecodeResultOk(r, produced, h.originalSize);
}

}  // namespace zid
