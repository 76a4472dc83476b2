#include "engine/other/zidUnUue.h"

#include "engine/base/zidNames.h"
#include "engine/base/zidStreams.h"
#include "platform/datetime.h"
#include "platform/files.h"

namespace zid {

void TUnUue::ProcessArchive() {
  TStream32* s = ArchiveStream();
  if (s == nullptr) {
    ArchiveFailed(E_READERROR);
    return;
  }
  const TUueReadAt readAt = [s](int64_t pos, void* buf, int64_t n) { return ReadFullAt(*s, pos, buf, n); };
  const std::vector<TUueFile> files = ScanUue(readAt, ArchiveSize(), CancelFlag());
  if (Cancelled()) return;
  if (files.empty()) {
    ArchiveFailed(E_BADFILEHEADER, "no begin line");
    return;
  }
  // The text keeps no dates: the files get the text's own.
  const plat::FileInfo info = plat::FileStat(GetArchiveFile());
  for (const TUueFile& f : files) {
    if (Cancelled()) return;
    ExtractFile(f, info.exists ? info.mtime : -1);
  }
}

void TUnUue::ExtractFile(const TUueFile& f, int64_t mtime) {
  TEntry e;
  TNameOrigin origin;
  origin.utf8 = true;
  origin.translateOem = TranslateOemChar;
  e.storedName = DecodeEntryName(f.name, origin);
  e.packedSize = f.dataEnd - f.data;
  e.unpackedSize = f.size;
  e.crcKind = 0;  // no checksum in the text
  e.unixTime = mtime;
  e.dosDate = mtime >= 0 ? plat::UnixToDosDateTime(mtime) : 0;
  e.unixMode = f.mode & 0777;
  ExtractEntry(e, [this, &f] {
    int64_t produced = 0;
    // The decoder reads on through the end line, which lies past dataEnd.
    const TDecodeJob job = EntryJob(f.data, ArchiveSize() - f.data, f.size, produced);
    const int r = UuDecode(job, f.base64);
    return DecodeResultOk(r, produced, f.size);
  });
}

}  // namespace zid
