#include "engine/lha/zidUnLha.h"

#include <cstring>
#include <vector>

#include "engine/base/zidResync.h"
#include "engine/base/zidStreams.h"
#include "engine/lha/zidLhaHeader.h"
#include "engine/lha/zidLhaMethods.h"
#include "platform/datetime.h"

namespace zid {

namespace {

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
  // Scan: the whole list first, then the data. After a damaged header the
  // walk goes on at the next header that passes its checks; the region
  // passed over is reported once, in its place among the entries.
  std::vector<TLhaHeader> items;
  TLostRegions lost;
  const TArcType type = GetArcType();
  int64_t offset = LhaFirstHeader(readAt, ArcStartOffset(), type == atLhaExe || type == atLzhExe);
  TReadAtSource src(readAt, ArchiveSize());
  const TResyncProbe probe = ResyncByProbe(kLhaProbe, src);
  TLhaParse step;
  TLhaHeader h;
  for (;;) {
    while ((step = ReadLhaHeader(readAt, offset, h, TranslateOemChar)) == lhOk && !Cancelled()) {
      items.push_back(h);
      offset = h.nextOffset;  // always past the header just read
    }
    // A header that seems cut short may be a damaged one with good headers after it.
    if ((step != lhBad && step != lhTruncated) || Cancelled()) break;
    const int64_t next = FindNextHeader(readAt, offset, ArchiveSize(), probe);
    if (next < 0) break;  // reported below as before: nothing good follows
    lost.Add(items.size(), DamagedRegionText("bad LHA header", offset, next, ArchiveSize()));
    offset = next;
  }
  if (Cancelled()) return;
  const std::string where = " at offset " + std::to_string(offset);
  if (items.empty() && lost.Empty() && step != lhEnd) {
    ArchiveFailed(step == lhTruncated ? E_READERROR : E_BADFILEHEADER, "no LHA header" + where);
    return;
  }
  for (size_t i = 0; i <= items.size() && !Cancelled(); ++i) {
    lost.Before(i, [this](const std::string& text) { HeaderFailed(VolumeName, E_BADFILEHEADER, text); });
    if (i < items.size()) ExtractItem(items[i]);
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

  const TMethod* method = LhaMethods().FindTag(h.MethodId());
  if (h.isSymlink) {
    // The loop makes it when its target stays inside the folder.
    e.isDir = false;
    e.isSymlink = true;
    e.linkTarget = h.linkTarget;
    ExtractEntry(e, [] { return true; });
    return;
  }
  if (h.isDir) {
    ExtractEntry(e, [] { return true; });
    return;
  }
  if (method == nullptr || !method->Decodes()) {
    RejectEntry(e, E_UNSUPPORTEDMETHOD, Printable(h.MethodId()));
    return;
  }
  ExtractEntry(e, [this, &h, method] { return Decode(h, *method); });
}

bool TUnLha::Decode(const TLhaHeader& h, const TMethod& method) {
  int64_t produced = 0;
  const TDecodeJob job = EntryJob(h.dataOffset, h.packedSize, h.originalSize, produced);
  const int r = method.decode(job, method, 0);
  return DecodeResultOk(r, produced, h.originalSize);
}

}  // namespace zid
