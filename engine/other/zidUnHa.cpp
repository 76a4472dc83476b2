#include "engine/other/zidUnHa.h"

#include <vector>

#include "engine/base/zidStreams.h"
#include "engine/other/zidHaMethods.h"

namespace zid {


TUnHa::TUnHa() = default;
TUnHa::~TUnHa() = default;

void TUnHa::ProcessArchive() {
  if (GetArcType() != atHA) {
    ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(GetArcType()));
    return;
  }
  auto read = [this](int64_t pos, void* buf, int64_t n) { return archive_ ? ReadFullAt(*archive_, pos, buf, n) : 0; };
  // scan: the headers, one after the other's data
  std::vector<THaEntry> list;
  int64_t pos = kHaFirstEntry;
  while (!Cancelled() && pos < ArchiveSize()) {
    THaEntry e;
    if (ReadHaEntry(read, pos, e) != THaRead::Ok || e.dataOffset + int64_t{e.packedSize} > ArchiveSize()) {
      HeaderFailed(VolumeName, E_BADFILEHEADER, "no entry header at offset " + std::to_string(pos));
      break;
    }
    if (e.method != kHaMethodSpecial) list.push_back(e);
    pos = e.dataOffset + e.packedSize;
  }
  for (const THaEntry& e : list) {
    if (Cancelled()) break;
    ExtractOne(e);
  }
}

void TUnHa::ExtractOne(const THaEntry& e) {
  TEntry te;
  te.storedName = HaEntryName(e, TranslateOemChar);
  te.packedSize = e.packedSize;
  te.unpackedSize = e.originalSize;
  te.crc = e.crc;
  te.crcKind = 32;
  te.unixTime = e.time;
  if (e.method == kHaMethodDir) {
    te.isDir = true;
    te.crcKind = 0;
    ExtractEntry(te, [] { return true; });
    return;
  }
  const TMethod* m = HaMethods().Find(e.method);
  if (!m || !m->Decodes()) {
    RejectEntry(te, E_UNSUPPORTEDMETHOD, HaMethods().Name(e.method));
    return;
  }
  auto decode = [&] {
    int64_t produced = 0;
    TDecodeJob job = EntryJob(e.dataOffset, e.packedSize, e.originalSize, produced);
    const int r = m->decode(job, *m, 0);
    return DecodeResultOk(r, produced, e.originalSize);
  };
  ExtractEntry(te, decode);
}

}  // namespace zid
