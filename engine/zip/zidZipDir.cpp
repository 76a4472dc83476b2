#include "engine/zip/zidZipDir.h"

#include "engine/base/zidBytes.h"
#include "engine/base/zidResync.h"
#include "engine/base/zidZipSigs.h"
#include "engine/zip/zidZipStart.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidZipNames.h"
#include "platform/files.h"

namespace zid {

TZipDirEntry EntryOfCentral(const TCheckedRecord& c, bool translateOem) {
  const TCentralRecord& r = *c.rec;
  const TCentralHeader& h = r.header;
  TZipDirEntry e;
  e.fromCentral = true;
  e.versionMadeBy = h.VersionMadeBy;
  e.flags = h.Flags;
  e.method = h.Method;
  e.dosDate = (static_cast<uint32_t>(h.Date) << 16) | h.Time;
  e.crc = h.Crc32;
  e.externalAttr = h.ExternalAttr;
  e.disk = h.DiskNumberStart;
  e.compressedSize = r.sizes.CompressedSize;
  e.uncompressedSize = r.sizes.UncompressedSize;
  e.localOffset = c.localOffset;
  e.name = ZipEntryName(r.rawName, h.Flags, h.VersionMadeBy, r.extra, translateOem);
  return e;
}

TLocalWalkEnd WalkLocalHeaders(TStream32& arc, int64_t start, bool translateOem, const std::function<bool()>& cancelled,
                               const std::function<void(const TZipDirEntry&)>& visit, std::string& lastName,
                               const std::function<void(const std::string&)>& damaged) {
  const int64_t size = arc.Size();
  const TResyncReadAt read = [&arc](int64_t p, void* buf, int64_t n) { return ReadFullAt(arc, p, buf, n); };
  TReadAtSource src(read, size);
  const TResyncProbe probe = ResyncByProbe(kZipProbe, src);
  int64_t pos = start;
  uint8_t marker[kSpanMarkerSize];
  if (arc.Seek(pos, plat::soFromBeginning) == pos && arc.Read(marker, 4) == 4 && IsSpanMarker(marker)) pos += 4;
  TLocalInfo li;
  lastName.clear();
  while (pos < size) {
    if (cancelled && cancelled()) return TLocalWalkEnd::Cancelled;
    const TLocalRead got = ReadLocalRecord(arc, pos, li);
    if (got == TLocalRead::Cut) return TLocalWalkEnd::Cut;
    if (got != TLocalRead::Ok) {
      uint8_t sig[4] = {};
      const bool records = ReadFullAt(arc, pos, sig, 4) == 4 &&
                           (IsCentralSig(Get32(sig)) || IsEndSig(Get32(sig)) || Get32(sig) == kZip64EndSig);
      if (!damaged || records) return TLocalWalkEnd::End;
      const int64_t next = FindNextHeader(read, pos, size, probe);
      damaged(DamagedRegionText("no local header", pos, next, size));
      if (next < 0) return TLocalWalkEnd::End;
      pos = next;
      continue;
    }
    TZipDirEntry e;
    e.flags = li.header.Flags;
    e.method = li.header.Method;
    e.dosDate = (static_cast<uint32_t>(li.header.Date) << 16) | li.header.Time;
    e.crc = li.header.Crc32;
    e.compressedSize = li.sizes.CompressedSize;
    e.uncompressedSize = li.sizes.UncompressedSize;
    e.localOffset = pos;
    e.name = ZipEntryName(li.rawName, li.header.Flags, 0, li.extra, translateOem);
    // A name ending in a separator is a folder; the attributes are not in the local header.
    e.externalAttr = !e.name.empty() && (e.name.back() == '/' || e.name.back() == '\\') ? 0x10 : 0x20;
    // Entries written with a data descriptor hide their sizes and CRC: neither
    // the entry nor the walk can go on.
    if ((e.flags & kFlagDescriptor) != 0 && e.compressedSize == 0 && e.crc == 0) {
      lastName = e.name;
      return TLocalWalkEnd::Descriptor;
    }
    const int64_t next = li.dataOffset + e.compressedSize;
    visit(e);
    if (next <= pos || next >= size) return TLocalWalkEnd::End;
    pos = next;
  }
  return TLocalWalkEnd::End;
}

}  // namespace zid
