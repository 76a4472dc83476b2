#include "engine/other/zidUnArc.h"

#include <cctype>

#include "engine/base/zidNames.h"
#include "engine/base/zidResync.h"
#include "engine/base/zidStreams.h"
#include "engine/other/zidArcMethods.h"

namespace zid {

namespace {

// Deeper nesting than any real archive has (the directory reader's limit).
constexpr size_t kMaxDepth = 64;

}  // namespace

TUnArc::TUnArc() = default;
TUnArc::~TUnArc() = default;

void TUnArc::ProcessArchive() {
  const TArcType t = GetArcType();
  if (t != atArc && t != atArcExe && t != atPak && t != atPakExe) {
    ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(t));
    return;
  }
  pak_ = t == atPak || t == atPakExe;
  // scan: the headers, into and out of folders
  std::vector<TItem> list;
  std::vector<size_t> levels;
  std::string folder;
  int64_t pos = std::max<int64_t>(0, ArcStartOffset());
  const TArcReadAt read = [this](int64_t p, void* buf, int64_t n) -> int64_t {
    return archive_ ? ReadFullAt(*archive_, p, buf, n) : 0;
  };
  const TResyncProbe probe = ArcResyncProbe(read, ArchiveSize());
  TLostRegions lost;
  while (!Cancelled()) {
    uint8_t h[kArcHeaderSize] = {};
    const int64_t got = archive_ ? ReadFullAt(*archive_, pos, h, kArcHeaderSize) : 0;
    if (got <= 0) break;  // the file ends without an end marker
    const TArcHeader a = ParseArcHeader(h, static_cast<int>(got));
    if (a.record == TArcRecord::End || (a.record == TArcRecord::FolderEnd && levels.empty())) break;
    const int64_t next = a.Next(pos);
    if (a.record == TArcRecord::Bad || next > ArchiveSize()) {
      // The walk goes on at the next header that looks like one.
      const int64_t found = FindNextHeader(read, pos, ArchiveSize(), probe);
      lost.Add(list.size(), DamagedRegionText("no entry header", pos, found, ArchiveSize()));
      if (found < 0) break;
      pos = found;
      continue;
    }
    if (a.record == TArcRecord::FolderEnd) {
      folder.resize(levels.back());
      levels.pop_back();
    } else if (a.record == TArcRecord::Folder) {
      if (levels.size() >= kMaxDepth) {
        HeaderFailed(VolumeName, E_BADFILEHEADER, "folders nested too deep at offset " + std::to_string(pos));
        break;
      }
      levels.push_back(folder.size());
      folder += a.name + "/";
    } else if (a.method < 20) {  // 20-29: ARC 6 comments and information
      list.push_back({a, folder, pos + a.headerSize});
    }
    pos = next;
  }
  for (size_t i = 0; i <= list.size() && !Cancelled(); ++i) {
    lost.Before(i, [this](const std::string& text) { HeaderFailed(VolumeName, E_BADFILEHEADER, text); });
    if (i < list.size()) ExtractOne(list[i]);
  }
}

void TUnArc::ExtractOne(const TItem& item) {
  const TArcHeader& a = item.header;
  TEntry te;
  TNameOrigin origin;
  origin.translateOem = TranslateOemChar;
  te.storedName = DecodeEntryName(item.folder + a.name, origin);
  te.packedSize = a.packedSize;
  te.unpackedSize = a.originalSize;
  te.crc = a.crc;
  te.crcKind = 16;
  te.dosDate = a.dosDate;
  const TMethod* m = (pak_ ? PakMethods() : ArcMethods()).Find(a.method);
  if (!m || !m->Decodes()) {
    RejectEntry(te, E_UNSUPPORTEDMETHOD, (pak_ ? PakMethods() : ArcMethods()).Described(a.method));
    return;
  }
  // ARC enciphers with the password in capitals.
  std::string key = !Password.empty() || Passwords.empty() ? Password : Passwords.front();
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto decode = [&] {
    int64_t produced = 0;
    TDecodeJob job = EntryJob(item.dataOffset, a.packedSize, a.originalSize, produced);
    if (!key.empty()) {
      auto read = job.source.read;
      size_t at = 0;
      job.source.read = [read, &key, at](uint8_t* buf, int64_t n) mutable {
        const int64_t got = read(buf, n);
        for (int64_t i = 0; i < got; ++i) {
          buf[i] ^= static_cast<uint8_t>(key[at]);
          at = at + 1 == key.size() ? 0 : at + 1;
        }
        return got;
      };
    }
    const int r = m->decode(job, *m, 0);
    return DecodeResultOk(r, produced, a.originalSize);
  };
  ExtractEntry(te, decode);
}

}  // namespace zid
