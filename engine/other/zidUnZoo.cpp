#include "engine/other/zidUnZoo.h"

#include "engine/base/zidStreams.h"
#include "engine/other/zidZooHeader.h"
#include "platform/files.h"

namespace zid {

TUnZoo::TUnZoo() = default;
TUnZoo::~TUnZoo() = default;

int64_t TUnZoo::ReadAt(int64_t pos, void* buf, int64_t n) {
  return archive_ ? ReadFullAt(*archive_, pos, buf, n) : 0;
}

void TUnZoo::ProcessArchive() {
  if (GetArcType() != atZoo) {
    ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(GetArcType()));
    return;
  }
  auto read = [this](int64_t pos, void* buf, int64_t n) { return ReadAt(pos, buf, n); };
  uint32_t first = 0;
  if (!ReadZooArchiveHeader(read, &first)) {
    ArchiveFailed(E_BADFILEHEADER, "no ZOO archive header");
    return;
  }
  // scan: the chain of directory entries
  std::vector<TZooEntry> list;
  int64_t pos = first;
  while (!Cancelled()) {
    TZooEntry e;
    if (ReadZooEntry(read, pos, e) != TZooRead::Ok) {
      HeaderFailed(VolumeName, E_BADFILEHEADER, "no directory entry at offset " + std::to_string(pos));
      break;
    }
    if (e.next == 0) {  // the end marker
      if (e.cut) ReportError(GetArchiveFile(), kZooEndCut, VolumeName, E_READERROR);
      break;
    }
    if (!e.deleted) list.push_back(e);
    if (e.next <= pos) {
      HeaderFailed(VolumeName, E_BADFILEHEADER, "the directory chain turns back at offset " + std::to_string(pos));
      break;
    }
    pos = e.next;
  }
  for (const TZooEntry& e : list) {
    if (Cancelled()) break;
    ExtractOne(e);
  }
}

void TUnZoo::ExtractOne(const TZooEntry& e) {
  TEntry te;
  te.storedName = ZooEntryName(e, TranslateOemChar, true);
  te.packedSize = e.packedSize;
  te.unpackedSize = e.originalSize;
  te.crc = e.crc;
  te.crcKind = 16;
  te.dosDate = e.dosDate;
  te.unixMode = e.unixMode;
  const TMethod* method = ZooMethods().Find(e.method);
  if (method == nullptr || !method->Decodes()) {
    RejectEntry(te, E_UNSUPPORTEDMETHOD, ZooMethods().Described(e.method));
    return;
  }
  auto decode = [&] {
    int64_t produced = 0;
    TDecodeJob job = EntryJob(e.dataOffset, e.packedSize, e.originalSize, produced);
    const int r = method->decode(job, *method, 0);
    return DecodeResultOk(r, produced, e.originalSize);
  };
  ExtractEntry(te, decode);
}

}  // namespace zid
