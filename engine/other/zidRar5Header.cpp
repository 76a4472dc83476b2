#include "engine/other/zidRar5Header.h"

#include <limits>
#include <vector>

#include "engine/base/zidBytes.h"
#include "engine/base/zidCrc.h"

namespace zid {

namespace {

constexpr uint64_t kMaxHeaderSize = 2 * 1024 * 1024;
constexpr int kMaxVintBytes = 10;
constexpr uint64_t kHasExtra = 0x0001, kHasData = 0x0002;
constexpr uint64_t kFileHasTime = 0x0002, kFileHasCrc = 0x0004;
constexpr uint64_t kExtraEncryption = 1, kExtraTime = 3;
constexpr uint64_t kTimeUnix = 0x0001, kTimeModified = 0x0002;
constexpr uint64_t kHostUnix = 1;
// Windows FILETIME ticks (100 ns since 1601) of the Unix epoch.
constexpr uint64_t kFileTimeEpoch = 116444736000000000ull;

// A reader over one header's bytes; every read past the end fails.
class TFields {
 public:
  TFields(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  bool Vint(uint64_t& v) {
    v = 0;
    for (int i = 0; i < kMaxVintBytes; ++i) {
      if (pos_ >= n_) return false;
      const uint8_t b = p_[pos_++];
      v |= static_cast<uint64_t>(b & 0x7F) << (7 * i);
      if (!(b & 0x80)) return true;
    }
    return false;
  }
  bool U32(uint32_t& v) {
    if (n_ - pos_ < 4) return false;
    v = Get32(p_ + pos_);
    pos_ += 4;
    return true;
  }
  bool U64(uint64_t& v) {
    uint32_t lo = 0, hi = 0;
    if (!U32(lo) || !U32(hi)) return false;
    v = lo | (static_cast<uint64_t>(hi) << 32);
    return true;
  }
  bool Bytes(uint64_t count, std::string& out) {
    if (count > n_ - pos_) return false;
    out.assign(reinterpret_cast<const char*>(p_ + pos_), count);
    pos_ += count;
    return true;
  }
  bool Skip(uint64_t count) {
    if (count > n_ - pos_) return false;
    pos_ += count;
    return true;
  }
  size_t Pos() const { return pos_; }
  size_t Size() const { return n_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
};

TRarRead Bad(std::string* why, const char* text) {
  if (why) *why = text;
  return TRarRead::Bad;
}

// The extra records of a file header: encryption and the modification time.
void ReadExtra(TFields f, TRar5Block& b) {
  while (f.Pos() < f.Size()) {
    uint64_t size = 0, type = 0;
    if (!f.Vint(size) || size == 0 || size > f.Size() - f.Pos()) return;
    const size_t end = f.Pos() + size;
    if (!f.Vint(type) || f.Pos() > end) return;
    if (type == kExtraEncryption) b.encrypted = true;
    if (type == kExtraTime) {
      uint64_t flags = 0;
      if (f.Vint(flags) && (flags & kTimeModified)) {
        if (flags & kTimeUnix) {
          uint32_t t = 0;
          if (f.U32(t)) b.mtime = t;
        } else {
          uint64_t ft = 0;
          if (f.U64(ft) && ft >= kFileTimeEpoch) b.mtime = static_cast<int64_t>((ft - kFileTimeEpoch) / 10000000u);
        }
      }
    }
    if (f.Pos() > end) return;
    f.Skip(end - f.Pos());
  }
}

}  // namespace

int64_t TRar5Block::DataOffset() const {
  const uint64_t at = static_cast<uint64_t>(offset) + headSize;
  return at > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                        : static_cast<int64_t>(at);
}

int64_t TRar5Block::NextOffset() const {
  const uint64_t at = static_cast<uint64_t>(DataOffset());
  const uint64_t max = std::numeric_limits<int64_t>::max();
  return dataSize > max - at ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(at + dataSize);
}

uint32_t TRar5Block::DosAttributes() const {
  if (host == kHostUnix) return (attr & 0xF000) == 0x4000 || IsFolder() ? 0x10 : 0x20;
  return static_cast<uint32_t>(attr & 0xFFFF) | (IsFolder() ? 0x10 : 0);
}

TRarRead ReadRar5Block(const TRarReadAt& read, int64_t pos, TRar5Block& b, std::string* why) {
  b = TRar5Block();
  b.offset = pos;
  uint8_t start[4 + kMaxVintBytes];
  const int64_t got = read(pos, start, sizeof start);
  if (got <= 0) return TRarRead::End;
  if (got < 6) return Bad(why, "a header cut short by the end of the file");
  TFields sizeField(start + 4, static_cast<size_t>(got - 4));
  uint64_t size = 0;
  if (!sizeField.Vint(size) || size == 0 || size > kMaxHeaderSize) return Bad(why, "a header size that cannot be");
  const size_t sizeLen = sizeField.Pos();
  b.headSize = 4 + sizeLen + size;
  std::vector<uint8_t> head(b.headSize);
  if (read(pos, head.data(), static_cast<int64_t>(head.size())) != static_cast<int64_t>(head.size()))
    return Bad(why, "a header cut short by the end of the file");
  uint32_t crc = kCrc32Init;
  UpdateCrc32(head.data() + 4, head.size() - 4, crc);
  b.crcOk = (crc ^ 0xFFFFFFFFu) == Get32(head.data());
  if (!b.crcOk) return Bad(why, "a header whose CRC does not match");
  TFields f(head.data() + 4 + sizeLen, size);
  uint64_t extraSize = 0;
  if (!f.Vint(b.type) || !f.Vint(b.flags)) return Bad(why, "a header too short for its type");
  if ((b.flags & kHasExtra) && !f.Vint(extraSize)) return Bad(why, "a header too short for its extra size");
  if ((b.flags & kHasData) && !f.Vint(b.dataSize)) return Bad(why, "a header too short for its data size");
  if (extraSize > size) return Bad(why, "an extra area larger than its header");
  if (b.type == kRar5TypeEnd) {
    f.Vint(b.endFlags);
    return TRarRead::Ok;
  }
  if (b.type != kRar5TypeFile && b.type != kRar5TypeService) return TRarRead::Ok;
  uint64_t nameSize = 0;
  uint32_t t = 0;
  if (!f.Vint(b.fileFlags) || !f.Vint(b.unpacked) || !f.Vint(b.attr)) return Bad(why, "a file header cut short");
  if ((b.fileFlags & kFileHasTime)) {
    if (!f.U32(t)) return Bad(why, "a file header cut short");
    b.mtime = t;
  }
  if ((b.fileFlags & kFileHasCrc)) {
    if (!f.U32(b.crc)) return Bad(why, "a file header cut short");
    b.hasCrc = true;
  }
  if (!f.Vint(b.compression) || !f.Vint(b.host) || !f.Vint(nameSize) || !f.Bytes(nameSize, b.name))
    return Bad(why, "a file header cut short");
  if (extraSize > 0 && extraSize <= size - f.Pos()) ReadExtra(TFields(head.data() + 4 + sizeLen + (size - extraSize), extraSize), b);
  return TRarRead::Ok;
}

}  // namespace zid
