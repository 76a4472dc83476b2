#include "engine/zip/zidZipRecords.h"

#include "engine/base/zidBytes.h"

namespace zid {

void TLocalHeader::Read(const uint8_t* p) {
  Signature = Get32(p);
  VersionNeeded = Get16(p + 4);
  Flags = Get16(p + 6);
  Method = Get16(p + 8);
  Time = Get16(p + 10);
  Date = Get16(p + 12);
  Crc32 = Get32(p + 14);
  CompressedSize = Get32(p + 18);
  UncompressedSize = Get32(p + 22);
  NameLength = Get16(p + 26);
  ExtraLength = Get16(p + 28);
}

void TLocalHeader::Write(uint8_t* p) const {
  Put32(p, Signature);
  Put16(p + 4, VersionNeeded);
  Put16(p + 6, Flags);
  Put16(p + 8, Method);
  Put16(p + 10, Time);
  Put16(p + 12, Date);
  Put32(p + 14, Crc32);
  Put32(p + 18, CompressedSize);
  Put32(p + 22, UncompressedSize);
  Put16(p + 26, NameLength);
  Put16(p + 28, ExtraLength);
}

void TCentralHeader::Read(const uint8_t* p) {
  Signature = Get32(p);
  VersionMadeBy = Get16(p + 4);
  VersionNeeded = Get16(p + 6);
  Flags = Get16(p + 8);
  Method = Get16(p + 10);
  Time = Get16(p + 12);
  Date = Get16(p + 14);
  Crc32 = Get32(p + 16);
  CompressedSize = Get32(p + 20);
  UncompressedSize = Get32(p + 24);
  NameLength = Get16(p + 28);
  ExtraLength = Get16(p + 30);
  CommentLength = Get16(p + 32);
  DiskNumberStart = Get16(p + 34);
  InternalAttr = Get16(p + 36);
  ExternalAttr = Get32(p + 38);
  LocalHeaderOffset = Get32(p + 42);
}

void TCentralHeader::Write(uint8_t* p) const {
  Put32(p, Signature);
  Put16(p + 4, VersionMadeBy);
  Put16(p + 6, VersionNeeded);
  Put16(p + 8, Flags);
  Put16(p + 10, Method);
  Put16(p + 12, Time);
  Put16(p + 14, Date);
  Put32(p + 16, Crc32);
  Put32(p + 20, CompressedSize);
  Put32(p + 24, UncompressedSize);
  Put16(p + 28, NameLength);
  Put16(p + 30, ExtraLength);
  Put16(p + 32, CommentLength);
  Put16(p + 34, DiskNumberStart);
  Put16(p + 36, InternalAttr);
  Put32(p + 38, ExternalAttr);
  Put32(p + 42, LocalHeaderOffset);
}

void TCentralHeader::CopyFromLocal(const TLocalHeader& local) {
  Flags = local.Flags;
  Method = local.Method;
  Time = local.Time;
  Date = local.Date;
  Crc32 = local.Crc32;
  CompressedSize = local.CompressedSize;
  UncompressedSize = local.UncompressedSize;
  NameLength = local.NameLength;
  ExtraLength = local.ExtraLength;
}

void TEndRecord::Read(const uint8_t* p) {
  Signature = Get32(p);
  ThisDisk = Get16(p + 4);
  DirectoryDisk = Get16(p + 6);
  EntriesThisDisk = Get16(p + 8);
  TotalEntries = Get16(p + 10);
  DirectorySize = Get32(p + 12);
  if (Large()) {
    DirectoryOffset = Get64(p + 16);
    CommentLength = Get16(p + 24);
  } else {
    DirectoryOffset = Get32(p + 16);
    CommentLength = Get16(p + 20);
  }
}

void TEndRecord::Write(uint8_t* p) const {
  Put32(p, Signature);
  Put16(p + 4, ThisDisk);
  Put16(p + 6, DirectoryDisk);
  Put16(p + 8, EntriesThisDisk);
  Put16(p + 10, TotalEntries);
  Put32(p + 12, DirectorySize);
  if (Large()) {
    Put64(p + 16, DirectoryOffset);
    Put16(p + 24, CommentLength);
  } else {
    Put32(p + 16, static_cast<uint32_t>(DirectoryOffset));
    Put16(p + 20, CommentLength);
  }
}

void TZip64EndRecord::Read(const uint8_t* p) {
  Signature = Get32(p);
  RecordSize = Get64(p + 4);
  VersionMadeBy = Get16(p + 12);
  VersionNeeded = Get16(p + 14);
  ThisDisk = Get32(p + 16);
  DirectoryDisk = Get32(p + 20);
  EntriesThisDisk = Get64(p + 24);
  TotalEntries = Get64(p + 32);
  DirectorySize = Get64(p + 40);
  DirectoryOffset = Get64(p + 48);
}

void TZip64EndRecord::Write(uint8_t* p) const {
  Put32(p, kZip64EndSig);
  Put64(p + 4, kZip64EndRecordSize - 12);
  Put16(p + 12, VersionMadeBy);
  Put16(p + 14, VersionNeeded);
  Put32(p + 16, ThisDisk);
  Put32(p + 20, DirectoryDisk);
  Put64(p + 24, EntriesThisDisk);
  Put64(p + 32, TotalEntries);
  Put64(p + 40, DirectorySize);
  Put64(p + 48, DirectoryOffset);
}

void WriteZip64Locator(uint8_t* p, uint64_t zip64EndOffset) {
  Put32(p, kZip64LocatorSig);
  Put32(p + 4, 0);  // the disk holding the zip64 end record
  Put64(p + 8, zip64EndOffset);
  Put32(p + 16, 1);  // disks in all
}

void WriteSpanMarker(uint8_t* p) { Put32(p, kSpanMarkerSig); }
bool IsSpanMarker(const uint8_t* p) { return Get32(p) == kSpanMarkerSig; }

namespace {

constexpr uint32_t kNoValue32 = 0xFFFFFFFF;
constexpr int64_t kLow48 = (int64_t{1} << 48) - 1;

// Zip64 values come in a fixed order, each present only when its 32-bit
// field is saturated; a value cut short by the field's size ends the list.
void ApplyZip64(const uint8_t* data, size_t size, bool central, TEntrySizes& s) {
  int64_t* order[3] = {&s.UncompressedSize, &s.CompressedSize, &s.LocalHeaderOffset};
  const int count = central ? 3 : 2;
  size_t pos = 0;
  for (int i = 0; i < count; ++i) {
    if (*order[i] != static_cast<int64_t>(kNoValue32)) continue;
    if (pos + 8 > size) return;
    *order[i] = static_cast<int64_t>(Get64(data + pos)) & kLow48;
    pos += 8;
  }
}

// The engine's own field: bits 32..47 of compressed size, uncompressed size
// and (central only) local header offset, as 16-bit words.
void ApplyLargeFile(const uint8_t* data, size_t size, bool central, TEntrySizes& s) {
  int64_t* order[3] = {&s.CompressedSize, &s.UncompressedSize, &s.LocalHeaderOffset};
  const size_t count = central ? 3 : 2;
  for (size_t i = 0; i < count && 2 * i + 2 <= size; ++i)
    *order[i] = (*order[i] & 0xFFFFFFFF) | (static_cast<int64_t>(Get16(data + 2 * i)) << 32);
}

}  // namespace

bool TExtraFields::Next() {
  if (next_ + 4 > len_) return false;
  const size_t size = Get16(p_ + next_ + 2);
  if (size > len_ - next_ - 4) return false;
  pos_ = next_;
  id_ = Get16(p_ + pos_);
  size_ = size;
  next_ = pos_ + 4 + size;
  return true;
}

void ParseExtraField(const uint8_t* extra, size_t len, bool central, TEntrySizes& sizes) {
  for (TExtraFields f(extra, len); f.Next();) {
    if (f.Id() == kExtraZip64)
      ApplyZip64(f.Data(), f.Size(), central, sizes);
    else if (f.Id() == kExtraLargeFile)
      ApplyLargeFile(f.Data(), f.Size(), central, sizes);
  }
}

bool NeedsZip64Local(int64_t uncompressedSize) {
  constexpr int64_t kMargin = int64_t{4} << 20;
  return uncompressedSize >= static_cast<int64_t>(kZip64Mark32) - kMargin;
}

void WriteZip64Local(uint8_t* p, TLocalHeader& header, const TEntrySizes& sizes) {
  Put16(p, kExtraZip64);
  Put16(p + 2, 16);
  Put64(p + 4, static_cast<uint64_t>(sizes.UncompressedSize));
  Put64(p + 12, static_cast<uint64_t>(sizes.CompressedSize));
  header.UncompressedSize = kZip64Mark32;
  header.CompressedSize = kZip64Mark32;
}

std::string SetCentralSizes(TCentralHeader& header, const TEntrySizes& sizes) {
  std::string values;
  // The order of the APPNOTE: uncompressed size, compressed size, offset.
  auto field = [&values](uint32_t& slot, int64_t v) {
    if (v < static_cast<int64_t>(kZip64Mark32)) {
      slot = static_cast<uint32_t>(v);
      return;
    }
    slot = kZip64Mark32;
    uint8_t b[8];
    Put64(b, static_cast<uint64_t>(v));
    values.append(reinterpret_cast<const char*>(b), 8);
  };
  field(header.UncompressedSize, sizes.UncompressedSize);
  field(header.CompressedSize, sizes.CompressedSize);
  field(header.LocalHeaderOffset, sizes.LocalHeaderOffset);
  if (values.empty()) return values;
  uint8_t h[4];
  Put16(h, kExtraZip64);
  Put16(h + 2, static_cast<uint16_t>(values.size()));
  return std::string(reinterpret_cast<const char*>(h), 4) + values;
}

int64_t ExtraUnixTime(const uint8_t* extra, size_t len) {
  int64_t ntfs = -1;
  for (TExtraFields f(extra, len); f.Next();) {
    const uint8_t* d = f.Data();
    if (f.Id() == kExtraUnixTime && f.Size() >= 5 && (d[0] & 1))
      return static_cast<int32_t>(Get32(d + 1));
    // NTFS: 4 reserved bytes, then tagged blocks; tag 1 holds three FILETIMEs, mtime first.
    if (f.Id() == 0x000A && f.Size() >= 32 && Get16(d + 4) == 1 && Get16(d + 6) >= 24) {
      const uint64_t ft = Get64(d + 8);
      constexpr uint64_t kEpochDiff = 11644473600ull;  // 1601-01-01 to 1970-01-01, in seconds
      if (ft / 10000000 >= kEpochDiff) ntfs = static_cast<int64_t>(ft / 10000000 - kEpochDiff);
    }
  }
  return ntfs;
}

std::string UnixTimeExtra(int64_t mtime) {
  if (mtime < INT32_MIN || mtime > INT32_MAX) return std::string();
  uint8_t b[kUnixTimeExtraSize];
  Put16(b, kExtraUnixTime);
  Put16(b + 2, 5);
  b[4] = 1;  // the modification time follows
  Put32(b + 5, static_cast<uint32_t>(static_cast<int32_t>(mtime)));
  return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

std::string WithoutSizeFields(const std::string& extra) {
  std::string out;
  for (TExtraFields f(extra.data(), extra.size()); f.Next();)
    if (f.Id() != kExtraZip64 && f.Id() != kExtraLargeFile) out.append(extra, f.Offset(), 4 + f.Size());
  return out;
}

}  // namespace zid
