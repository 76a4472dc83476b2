#include "engine/other/zidUnLibArchive.h"

#include <algorithm>
#include <vector>

#include "engine/base/zidNames.h"
#include "engine/base/zidStreams.h"
#include "engine/other/zidLibArchive.h"
#include "platform/datetime.h"

namespace zid {

namespace {

constexpr int64_t kDataBlock = 65536;

// "." and "./" (cpio's first entry, an ISO's root) stand for the extraction folder itself.
bool NamesNothing(const std::string& name) {
  return std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || c == '/'; }) &&
         name.find("..") == std::string::npos;
}

}  // namespace

void TUnLibArchive::ProcessArchive() {
  TLaFamily family;
  if (!LibArchiveFamily(GetArcType(), &family)) return ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(GetArcType()));
  TStream32* s = ArchiveStream();
  if (s == nullptr) return ArchiveFailed(E_READERROR);
  TLibArchive la(family, [s](int64_t pos, void* buf, int64_t n) { return ReadFullAt(*s, pos, buf, n); },
                 ArchiveSize(), std::max<int64_t>(0, ArcStartOffset()));
  if (!la.Open()) return ArchiveFailed(E_BADFILEHEADER, la.Error());
  bool any = false;
  while (!Cancelled()) {
    TLaEntry le;
    const TLaStep step = la.Next(le);
    if (step == TLaStep::End) return;
    if (step == TLaStep::Error) {
      if (!any) return ArchiveFailed(E_BADFILEHEADER, la.Error());
      return HeaderFailed(VolumeName, E_BADFILEHEADER, la.Error());
    }
    any = true;
    ExtractOne(la, le);
  }
}

void TUnLibArchive::ExtractOne(TLibArchive& la, const TLaEntry& le) {
  TNameOrigin origin;
  origin.utf8 = le.utf8;
  origin.unixHost = true;
  origin.translateOem = TranslateOemChar;
  const std::string name = DecodeEntryName(le.name, origin);
  if (le.kind == 'd' && NamesNothing(name)) return;

  TEntry e;
  e.storedName = name;
  e.unpackedSize = std::max<int64_t>(0, le.size);
  e.packedSize = e.unpackedSize;
  e.crcKind = 0;  // libarchive checks the data itself
  if (le.mtime >= 0) {
    e.unixTime = le.mtime;
    e.dosDate = plat::UnixToDosDateTime(le.mtime);
  }
  e.isDir = le.kind == 'd';
  e.attr = e.isDir ? 0x10 : 0x20;
  e.unixMode = le.mode & 0777;
  e.encrypted = le.encrypted;
  if (le.kind == 'l' || (le.kind == 'h' && le.size <= 0)) {
    e.isSymlink = le.kind == 'l';
    e.isHardLink = le.kind == 'h';
    e.linkTarget = DecodeEntryName(le.link, origin);
    ExtractEntry(e, [] { return true; });
    return;
  }
  if (le.kind == 's') {
    if (!MatchesSpec(name, RecurseDirs)) return;
    ReportError(name, "device, FIFO or socket: not created", VolumeName, E_UNKNOWNFILETYPE);
    return;
  }
  if (le.encrypted) return RejectEntry(e, E_UNSUPPORTEDMETHOD, "encrypted entry");
  if (e.isDir) {
    ExtractEntry(e, [] { return true; });
    return;
  }
  ExtractEntry(e, [this, &la, &le] { return CopyData(la, le.size); });
}

bool TUnLibArchive::CopyData(TLibArchive& la, int64_t expected) {
  std::vector<uint8_t> buf(kDataBlock);
  int64_t produced = 0;
  for (;;) {
    if (Cancelled()) return false;
    const int64_t n = la.Read(buf.data(), kDataBlock);
    if (n < 0) {
      ReportError(FileName, la.Error(), VolumeName, E_BADBLOCK);
      return false;
    }
    if (n == 0) break;
    if (!WriteDecoded(buf.data(), n)) return false;
    produced += n;
  }
  return DecodeResultOk(drOk, produced, expected);
}

}  // namespace zid
