#include "engine/other/zidTarHeader.h"

#include <cstring>

namespace zid {

namespace {

constexpr int kTarChecksumLen = 8;
constexpr int kTarPrefix = 345;
constexpr int kTarPrefixLen = 155;
constexpr int kStarPrefixLen = 131;  // star keeps access and change times behind a shorter prefix
constexpr int kStarTrailer = 508;
constexpr int kGnuIsExtended = 482;
constexpr int kGnuRealSize = 483;
constexpr int kGnuExtIsExtended = 504;
// The largest long-name or pax record taken; real ones are a few hundred bytes.
constexpr int64_t kMaxRecord = 1 << 20;
// Sizes beyond this are not real files; refusing them keeps offsets from overflowing.
constexpr int64_t kMaxSize = int64_t{1} << 56;
// GNU sparse maps: at most this many pieces are taken (a real map of a
// file with a million holes is still below it).
constexpr size_t kMaxMapPieces = 1 << 20;
constexpr int kGnuSparse = 386;  // four (offset, length) pairs of 12-byte numbers
constexpr int kGnuSparsePairs = 4;
constexpr int kGnuExtPairs = 21;

int64_t RoundUp(int64_t n) { return (n + kTarBlock - 1) / kTarBlock * kTarBlock; }

// The bytes of a fixed-width text field up to its first NUL.
std::string Field(const uint8_t* p, int len) {
  const void* nul = std::memchr(p, 0, static_cast<size_t>(len));
  const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : static_cast<size_t>(len);
  return std::string(reinterpret_cast<const char*>(p), n);
}

// A decimal pax value; fractional seconds are cut. False when it is not a number.
bool PaxNumber(const std::string& v, int64_t& out, bool allowFraction) {
  size_t i = 0;
  int64_t n = 0;
  if (v.empty()) return false;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    if (n > kMaxSize) return false;
    n = n * 10 + (v[i] - '0');
  }
  if (i == 0) return false;
  if (i < v.size() && !(allowFraction && v[i] == '.')) return false;
  out = n;
  return true;
}

}  // namespace

bool TarChecksumOk(const uint8_t* h) {
  int64_t stored = 0;
  if (!TarNumber(h + kTarChecksum, kTarChecksumLen, stored)) return false;
  int64_t unsignedSum = 0, signedSum = 0;
  for (int i = 0; i < kTarBlock; ++i) {
    const bool inField = i >= kTarChecksum && i < kTarChecksum + kTarChecksumLen;
    const uint8_t b = inField ? ' ' : h[i];
    unsignedSum += b;
    signedSum += static_cast<int8_t>(b);
  }
  return stored == unsignedSum || stored == signedSum;
}

bool TarBlockIsZero(const uint8_t* h) {
  for (int i = 0; i < kTarBlock; ++i)
    if (h[i] != 0) return false;
  return true;
}

bool TarNumber(const uint8_t* field, int len, int64_t& value) {
  value = 0;
  if (field[0] & 0x80) {
    // Base 256, big-endian; a set bit 6 is a negative number.
    if (field[0] & 0x40) return false;
    uint64_t v = field[0] & 0x3F;
    for (int i = 1; i < len; ++i) {
      if (v > (static_cast<uint64_t>(kMaxSize) >> 8)) return false;
      v = (v << 8) | field[i];
    }
    value = static_cast<int64_t>(v);
    return true;
  }
  int i = 0;
  while (i < len && field[i] == ' ') ++i;
  for (; i < len && field[i] >= '0' && field[i] <= '7'; ++i) {
    if (value > kMaxSize) return false;
    value = value * 8 + (field[i] - '0');
  }
  // The number ends at a NUL or a space, or fills the field. An empty field is 0.
  return i == len || field[i] == 0 || field[i] == ' ';
}

TTarScanner::TTarScanner(TReadAt readAt, int64_t fileSize, int64_t start)
    : readAt_(std::move(readAt)), fileSize_(fileSize), pos_(start) {}

bool TTarScanner::ReadRecordData(int64_t at, int64_t size, std::string& out) {
  out.assign(static_cast<size_t>(size), '\0');
  if (size == 0) return true;
  return readAt_(at, reinterpret_cast<uint8_t*>(out.data()), size) == size;
}

void TTarScanner::ApplyPax(const std::string& records) {
  size_t p = 0;
  while (p < records.size()) {
    // "<length> <key>=<value>\n", the length counting the whole record.
    size_t sp = records.find(' ', p);
    if (sp == std::string::npos) return;
    int64_t len = 0;
    if (!PaxNumber(records.substr(p, sp - p), len, false) || len <= 0 ||
        static_cast<uint64_t>(len) > records.size() - p)
      return;
    const size_t end = p + static_cast<size_t>(len);
    if (records[end - 1] != '\n' || sp + 1 >= end) return;
    const std::string rec = records.substr(sp + 1, end - 1 - (sp + 1));
    p = end;
    const size_t eq = rec.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = rec.substr(0, eq);
    const std::string value = rec.substr(eq + 1);
    int64_t n = 0;
    if (key == "path" || key == "GNU.sparse.name") {
      paxPath_ = value;
      havePaxPath_ = true;
    } else if (key == "linkpath") {
      paxLink_ = value;
      havePaxLink_ = true;
    } else if (key == "size") {
      if (PaxNumber(value, n, false)) paxSize_ = n;
    } else if (key == "mtime") {
      if (PaxNumber(value, n, true)) paxMtime_ = n;
    } else if (key == "GNU.sparse.realsize" || key == "GNU.sparse.size") {
      paxSparse_ = true;
      if (PaxNumber(value, n, false)) paxRealSize_ = n;
    } else if (key == "GNU.sparse.offset") {  // 0.0: the pairs one record each
      paxSparse_ = true;
      if (PaxNumber(value, n, false) && paxMap_.size() < kMaxMapPieces) paxMap_.emplace_back(n, -1);
    } else if (key == "GNU.sparse.numbytes") {
      if (PaxNumber(value, n, false) && !paxMap_.empty() && paxMap_.back().second < 0) paxMap_.back().second = n;
    } else if (key == "GNU.sparse.map") {  // 0.1: "offset,length,offset,length..."
      paxSparse_ = true;
      paxMap_.clear();
      size_t q = 0;
      std::vector<int64_t> nums;
      while (q <= value.size() && nums.size() < 2 * kMaxMapPieces) {
        const size_t c = std::min(value.find(',', q), value.size());
        if (!PaxNumber(value.substr(q, c - q), n, false)) break;
        nums.push_back(n);
        q = c + 1;
      }
      for (size_t i = 0; i + 1 < nums.size(); i += 2) paxMap_.emplace_back(nums[i], nums[i + 1]);
    } else if (key == "GNU.sparse.major") {
      paxSparse_ = true;
      if (PaxNumber(value, n, false)) paxSparseMajor_ = static_cast<int>(std::min<int64_t>(n, 99));
    } else if (key.rfind("GNU.sparse.", 0) == 0) {
      paxSparse_ = true;
    }
  }
}

TTarStep TTarScanner::Next(TTarItem& item) {
  const int64_t entryStart = pos_;
  bool pending = false;  // qualifying records were read for the entry to come
  uint8_t h[kTarBlock];
  // The last entry's padding runs past the end: the file was cut, not ended.
  if (pos_ > fileSize_) {
    errorPos_ = fileSize_;
    return TTarStep::Truncated;
  }
  for (;;) {
    errorPos_ = pos_;
    const int64_t got = pos_ < fileSize_ ? readAt_(pos_, h, kTarBlock) : 0;
    if (got < kTarBlock) {
      // A file may end without the zero blocks; it may not end inside a header.
      bool zeros = true;
      for (int64_t i = 0; i < got; ++i) zeros = zeros && h[i] == 0;
      noEndBlock_ = zeros && !pending;
      return zeros && !pending ? TTarStep::End : TTarStep::Truncated;
    }
    if (TarBlockIsZero(h)) return pending ? TTarStep::Truncated : TTarStep::End;
    if (!TarChecksumOk(h)) return TTarStep::BadHeader;
    int64_t size = 0;
    if (!TarNumber(h + kTarSize, 12, size) || size > kMaxSize) return TTarStep::BadHeader;
    const char type = static_cast<char>(h[kTarType]);
    const int64_t dataStart = pos_ + kTarBlock;

    if (type == 'L' || type == 'K' || type == 'x' || type == 'X' || type == 'g') {
      if (size > kMaxRecord) return TTarStep::BadHeader;
      std::string data;
      if (!ReadRecordData(dataStart, size, data)) return TTarStep::Truncated;
      if (type == 'L') {
        longName_ = Field(reinterpret_cast<const uint8_t*>(data.data()), static_cast<int>(data.size()));
        haveLongName_ = true;
      } else if (type == 'K') {
        longLink_ = Field(reinterpret_cast<const uint8_t*>(data.data()), static_cast<int>(data.size()));
        haveLongLink_ = true;
      } else if (type != 'g') {
        ApplyPax(data);
      }
      pending = type != 'g' || pending;
      pos_ = dataStart + RoundUp(size);
      continue;
    }
    if (type == 'V') {  // a volume label names the archive, not an entry
      pos_ = dataStart + RoundUp(size);
      continue;
    }

    item = TTarItem{};
    item.headerOffset = entryStart;
    item.type = type == 0 ? '0' : type;
    int64_t v = 0;
    if (TarNumber(h + kTarMode, 8, v)) item.mode = static_cast<uint32_t>(v & 07777);
    if (TarNumber(h + kTarMtime, 12, v)) item.mtime = v;
    if (paxMtime_ >= 0) item.mtime = paxMtime_;
    if (TarNumber(h + kTarChecksum, kTarChecksumLen, v)) item.checksum = static_cast<uint32_t>(v);

    if (haveLongName_) {
      item.name = longName_;
    } else if (havePaxPath_) {
      item.name = paxPath_;
      item.nameUtf8 = true;
    } else {
      item.name = Field(h + kTarName, kTarNameLen);
      if (std::memcmp(h + kTarMagic, "ustar", 6) == 0) {
        // POSIX ustar (and star) put the leading folders in the prefix field.
        const bool star = std::memcmp(h + kStarTrailer, "tar", 4) == 0;
        const std::string prefix = Field(h + kTarPrefix, star ? kStarPrefixLen : kTarPrefixLen);
        if (!prefix.empty()) item.name = prefix + "/" + item.name;
      }
    }
    if (havePaxPath_ && haveLongName_) {  // both: the pax record is the later standard
      item.name = paxPath_;
      item.nameUtf8 = true;
    }
    item.linkName = havePaxLink_ ? paxLink_ : haveLongLink_ ? longLink_ : Field(h + kTarLink, 100);
    // Old archives mark folders by the trailing slash alone.
    if (item.type == '0' && !item.name.empty() && item.name.back() == '/') item.type = '5';

    item.storedSize = paxSize_ >= 0 ? paxSize_ : size;
    // A folder has no data, whatever its size field says (some writers put the folder's size there).
    if (item.type == '5') item.storedSize = 0;
    item.size = item.storedSize;
    item.dataOffset = dataStart;
    if (type == 'S') {
      item.sparse = true;
      if (TarNumber(h + kGnuRealSize, 12, v)) item.size = v;
      auto pairs = [&item](const uint8_t* p, int count) {
        for (int i = 0; i < count; ++i) {
          int64_t off = 0, len = 0;
          if (p[i * 24] == 0 || !TarNumber(p + i * 24, 12, off) || !TarNumber(p + i * 24 + 12, 12, len)) return;
          if (item.sparseMap.size() < kMaxMapPieces) item.sparseMap.emplace_back(off, len);
        }
      };
      pairs(h + kGnuSparse, kGnuSparsePairs);
      // Further sparse maps follow the header while their flag says so.
      bool more = h[kGnuIsExtended] != 0;
      while (more) {
        errorPos_ = item.dataOffset;
        if (readAt_(item.dataOffset, h, kTarBlock) != kTarBlock) return TTarStep::Truncated;
        pairs(h, kGnuExtPairs);
        more = h[kGnuExtIsExtended] != 0;
        item.dataOffset += kTarBlock;
      }
    }
    if (paxSparse_) {
      item.sparse = true;
      if (paxRealSize_ >= 0) item.size = paxRealSize_;
      item.sparseMap = std::move(paxMap_);
      if (paxSparseMajor_ == 1 && !ReadMapInData(item)) return TTarStep::Truncated;
    }
    item.truncated = item.dataOffset + item.storedSize > fileSize_;
    ClearPending();
    pos_ = item.dataOffset + RoundUp(item.storedSize);
    return TTarStep::Entry;
  }
}

void TTarScanner::ClearPending() {
  longName_.clear();
  longLink_.clear();
  paxPath_.clear();
  paxLink_.clear();
  haveLongName_ = haveLongLink_ = havePaxPath_ = havePaxLink_ = false;
  paxSize_ = paxMtime_ = paxRealSize_ = -1;
  paxSparse_ = false;
  paxSparseMajor_ = 0;
  paxMap_.clear();
}

void TTarScanner::Resync(int64_t pos) {
  ClearPending();
  pos_ = pos;
}

TResyncProbe TarResyncProbe(const TTarScanner::TReadAt& readAt) {
  TResyncProbe probe;
  probe.align = kTarBlock;
  probe.good = [readAt](int64_t at) {
    uint8_t h[kTarBlock];
    return readAt(at, h, kTarBlock) == kTarBlock && !TarBlockIsZero(h) && TarChecksumOk(h);
  };
  return probe;
}

bool TTarScanner::ReadMapInData(TTarItem& item) {
  // Decimal numbers, one a line: the count of pieces, then offset and length
  // of each; the data start at the next block.
  item.sparseMap.clear();
  std::vector<int64_t> nums;
  int64_t want = -1;
  std::string line;
  int64_t used = 0;
  uint8_t b[kTarBlock];
  while (want < 0 || static_cast<int64_t>(nums.size()) < 1 + 2 * want) {
    if (used >= item.storedSize || used > kMaxRecord) return false;
    errorPos_ = item.dataOffset + used;
    if (readAt_(item.dataOffset + used, b, kTarBlock) != kTarBlock) return false;
    used += kTarBlock;
    for (int i = 0; i < kTarBlock && (want < 0 || static_cast<int64_t>(nums.size()) < 1 + 2 * want); ++i) {
      if (b[i] != '\n') {
        line.push_back(static_cast<char>(b[i]));
        if (line.size() > 20) return false;
        continue;
      }
      int64_t n = 0;
      if (!PaxNumber(line, n, false)) return false;
      line.clear();
      nums.push_back(n);
      if (nums.size() == 1) {
        if (n > static_cast<int64_t>(kMaxMapPieces)) return false;
        want = n;
      }
    }
  }
  for (int64_t i = 0; i < want; ++i) item.sparseMap.emplace_back(nums[1 + 2 * i], nums[2 + 2 * i]);
  item.dataOffset += used;
  item.storedSize -= used;
  return true;
}

const TMethodTable& TarMethods() {
  // The writer's one method: members as they are (the compression is the name's: zidPackFilter.h).
  static const TMethodTable table = {{0, nullptr, "Tarred", nullptr, 0, 0, cmTarred, "store"}};
  return table;
}

}  // namespace zid
