#include "engine/zip/zidZipDir.h"

#include <algorithm>
#include <map>
#include <utility>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidZipNames.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr int64_t kSearchWindow = 32768;

int64_t ReadFull(TStream32& s, void* buf, int64_t n) {
  auto* p = static_cast<uint8_t*>(buf);
  int64_t got = 0;
  while (got < n) {
    int64_t r = s.Read(p + got, n - got);
    if (r <= 0) break;
    got += r;
  }
  return got;
}

// Reads the directory's bytes in order, going on with the next disk of a
// spanned set when one ends in the middle of the directory.
class TDirReader {
 public:
  TDirReader(TStream32& s, const std::function<TStream32*()>& next) : s_(&s), next_(next) {}
  bool Read(void* buf, int64_t n) {
    auto* p = static_cast<uint8_t*>(buf);
    int64_t got = 0;
    while (got < n) {
      int64_t r = ReadFull(*s_, p + got, n - got);
      got += r;
      if (got == n) break;
      if (!next_) return false;
      TStream32* s = next_();
      if (s == nullptr) return false;
      s_ = s;
      s_->Seek(0, plat::soFromBeginning);
    }
    return true;
  }
  TStream32& Stream() { return *s_; }

 private:
  TStream32* s_;
  std::function<TStream32*()> next_;
};

// The data ranges of the entries accepted so far, per disk.
class TRangeSet {
 public:
  // Records [start, end) unless it meets a recorded range.
  bool Add(int disk, int64_t start, int64_t end) {
    const auto key = std::make_pair(disk, start);
    auto it = ranges_.lower_bound(key);
    if (it != ranges_.end() && it->first.first == disk && it->first.second < end) return false;
    if (it != ranges_.begin()) {
      auto prev = std::prev(it);
      if (prev->first.first == disk && prev->second > start) return false;
    }
    ranges_.emplace(key, end);
    return true;
  }

 private:
  std::map<std::pair<int, int64_t>, int64_t> ranges_;
};

// The first local signature in the 32 KiB after `from`, or -1.
int64_t SearchLocalHeader(TStream32& arc, int64_t from) {
  std::vector<uint8_t> buf(kSearchWindow + 3);
  arc.Seek(from, plat::soFromBeginning);
  const int64_t n = ReadFull(arc, buf.data(), static_cast<int64_t>(buf.size()));
  for (int64_t i = 0; i + 4 <= n; ++i)
    if (buf[i] == 0x50 && IsLocalSig(Get32(&buf[i]))) return from + i;
  return -1;
}

void Report(const TZipDirOptions& opt, int code, const std::string& name, const std::string& extra) {
  if (opt.error) opt.error(code, name, extra);
}

}  // namespace

bool ReadLocalInfo(TStream32& arc, int64_t offset, TLocalInfo& info) {
  if (offset < 0) return false;
  uint8_t rec[kLocalHeaderSize];
  if (arc.Seek(offset, plat::soFromBeginning) != offset) return false;
  if (ReadFull(arc, rec, sizeof rec) != static_cast<int64_t>(sizeof rec)) return false;
  if (!IsLocalSig(Get32(rec))) return false;
  TCryptKeysSaver keepKeys;
  const bool enciphered = IsEncipheredSig(Get32(rec));
  if (enciphered) DecipherRecordBody(rec, htLocal);
  info.header.Read(rec);
  info.rawName.assign(info.header.NameLength, '\0');
  info.extra.assign(info.header.ExtraLength, '\0');
  if (ReadFull(arc, info.rawName.data(), info.header.NameLength) != info.header.NameLength) return false;
  if (enciphered) DecryptBuffer(info.rawName.data(), info.header.NameLength);
  if (ReadFull(arc, info.extra.data(), info.header.ExtraLength) != info.header.ExtraLength) return false;
  info.sizes = TEntrySizes{};
  info.sizes.CompressedSize = info.header.CompressedSize;
  info.sizes.UncompressedSize = info.header.UncompressedSize;
  info.sizes.LocalHeaderOffset = offset;
  ParseExtraField(reinterpret_cast<const uint8_t*>(info.extra.data()), info.extra.size(), false, info.sizes);
  info.dataOffset = offset + static_cast<int64_t>(kLocalHeaderSize) + info.header.NameLength + info.header.ExtraLength;
  return true;
}

bool ReadCentralDirectory(TStream32& arc, int64_t dirStart, const TZipDirOptions& opt,
                          std::vector<TZipDirEntry>& list, const std::function<TStream32*()>& nextDisk) {
  TCryptKeysSaver keepKeys;
  if (arc.Seek(dirStart, plat::soFromBeginning) != dirStart) return false;
  TDirReader rd(arc, nextDisk);
  TRangeSet ranges;
  int64_t correction = 0;
  bool firstChecked = false;
  bool any = false;
  std::string rawName, extra;
  for (;;) {
    if (opt.cancelled && opt.cancelled()) break;
    uint8_t rec[kCentralHeaderSize];
    if (!rd.Read(rec, sizeof rec) || !IsCentralSig(Get32(rec))) break;
    const bool enciphered = IsEncipheredSig(Get32(rec));
    if (enciphered) DecipherRecordBody(rec, htCentral);
    TCentralHeader ch;
    ch.Read(rec);
    rawName.assign(ch.NameLength, '\0');
    extra.assign(ch.ExtraLength, '\0');
    if (!rd.Read(rawName.data(), ch.NameLength)) break;
    if (enciphered) DecryptBuffer(rawName.data(), ch.NameLength);
    if (!rd.Read(extra.data(), ch.ExtraLength)) break;
    for (uint32_t left = ch.CommentLength; left > 0;) {
      uint8_t skip[256];
      uint32_t n = std::min<uint32_t>(left, sizeof skip);
      if (!rd.Read(skip, n)) break;
      left -= n;
    }
    any = true;
    // Remember where the next record starts: the checks below move the stream.
    TStream32& cur = rd.Stream();
    const int64_t next = cur.Position();

    TZipDirEntry e;
    e.fromCentral = true;
    e.central = ch;
    e.versionMadeBy = ch.VersionMadeBy;
    e.flags = ch.Flags;
    e.method = ch.Method;
    e.dosDate = (static_cast<uint32_t>(ch.Date) << 16) | ch.Time;
    e.crc = ch.Crc32;
    e.externalAttr = ch.ExternalAttr;
    e.disk = ch.DiskNumberStart;
    TEntrySizes sizes;
    sizes.CompressedSize = ch.CompressedSize;
    sizes.UncompressedSize = ch.UncompressedSize;
    sizes.LocalHeaderOffset = ch.LocalHeaderOffset;
    ParseExtraField(reinterpret_cast<const uint8_t*>(extra.data()), extra.size(), true, sizes);
    e.compressedSize = sizes.CompressedSize;
    e.uncompressedSize = sizes.UncompressedSize;
    e.name = ZipEntryName(rawName, ch.Flags, ch.VersionMadeBy, extra, opt.translateOem);
    const bool want = !opt.wanted || opt.wanted(e.name);

    if (opt.spanned) {
      e.localOffset = sizes.LocalHeaderOffset;
      if (want) list.push_back(std::move(e));
      cur.Seek(next, plat::soFromBeginning);
      continue;
    }
    // The first record decides the correction for a stub added in front of
    // the archive without fixing its offsets, whether it is wanted or not.
    int64_t offset = sizes.LocalHeaderOffset + opt.offsetAdjust;
    TLocalInfo li;
    if (!firstChecked) {
      firstChecked = true;
      if (!ReadLocalInfo(cur, offset, li)) {
        int64_t found = offset >= -1 ? SearchLocalHeader(cur, offset + 1) : -1;
        if (found >= 0) correction = found - offset;
      }
    }
    offset += correction;
    if (want) {
      if (!ReadLocalInfo(cur, offset, li)) {
        Report(opt, E_BADLOCALOFFSET, e.name, std::string());
      } else {
        const int64_t size = cur.Size();
        int64_t end = li.dataOffset + std::max<int64_t>(0, e.compressedSize);
        if (end > size || end < li.dataOffset) end = size;
        if (!ranges.Add(0, offset, std::max(end, li.dataOffset))) {
          Report(opt, E_BADLOCALOFFSET, e.name, "the entry overlaps the data of another entry");
        } else {
          e.localOffset = offset;
          list.push_back(std::move(e));
        }
      }
    }
    cur.Seek(next, plat::soFromBeginning);
  }
  return any;
}

void ReadLocalHeaders(TStream32& arc, int64_t start, const TZipDirOptions& opt, std::vector<TZipDirEntry>& list) {
  const int64_t size = arc.Size();
  int64_t pos = start;
  uint8_t marker[kSpanMarkerSize];
  if (arc.Seek(pos, plat::soFromBeginning) == pos && ReadFull(arc, marker, 4) == 4 && IsSpanMarker(marker)) pos += 4;
  TLocalInfo li;
  while (pos < size) {
    if (opt.cancelled && opt.cancelled()) break;
    if (!ReadLocalInfo(arc, pos, li)) break;
    TZipDirEntry e;
    e.versionMadeBy = 0;
    e.flags = li.header.Flags;
    e.method = li.header.Method;
    e.dosDate = (static_cast<uint32_t>(li.header.Date) << 16) | li.header.Time;
    e.crc = li.header.Crc32;
    e.compressedSize = li.sizes.CompressedSize;
    e.uncompressedSize = li.sizes.UncompressedSize;
    e.localOffset = pos;
    e.name = ZipEntryName(li.rawName, li.header.Flags, 0, li.extra, opt.translateOem);
    // A name ending in a separator is a folder; the attributes are not in the local header.
    e.externalAttr = !e.name.empty() && (e.name.back() == '/' || e.name.back() == '\\') ? 0x10 : 0x20;
    const int64_t next = li.dataOffset + e.compressedSize;
    // Entries written with a data descriptor hide their sizes and CRC: neither
    // the entry nor the walk can go on.
    if ((e.flags & 8) != 0 && e.compressedSize == 0 && e.crc == 0) {
      Report(opt, E_BADFILEHEADER, e.name, "sizes only in a data descriptor");
      break;
    }
    if (!opt.wanted || opt.wanted(e.name)) list.push_back(e);
    if (next <= pos || next > size) break;
    pos = next;
  }
}

}  // namespace zid
