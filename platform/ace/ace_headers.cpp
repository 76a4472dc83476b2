#include "platform/ace/ace_headers.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/files.h"

namespace ace {

namespace {

constexpr char kSignature[] = "**ACE**";
constexpr size_t kSignatureSize = 7;

// Reads a u16 length and that many bytes at pos; false when they run past n.
bool TakeCounted(const uint8_t* h, size_t n, size_t& pos, std::string* out) {
  if (pos + 2 > n) return false;
  const size_t len = Le16(h + pos);
  pos += 2;
  if (pos + len > n) return false;
  if (out) out->assign(reinterpret_cast<const char*>(h + pos), len);
  pos += len;
  return true;
}

}  // namespace

unsigned TFileHeader::DictBits() const { return std::min(10u + (params & 15u), 22u); }

bool HeaderCrcOk(const uint8_t* h, size_t n) { return n >= 4 && HeaderCrc(h + 4, n - 4) == Le16(h); }

bool BlockBodyLength(const uint8_t* h, size_t n, uint64_t& len) {
  len = 0;
  if (n < 7) return false;
  const uint16_t flags = Le16(h + 5);
  if (!(flags & kFlagAddSize)) return true;
  if (flags & kFlag64Bit) {
    if (n < 15) return false;
    len = Le64(h + 7);
  } else {
    if (n < 11) return false;
    len = Le32(h + 7);
  }
  return true;
}

bool ParseMainHeader(const uint8_t* h, size_t n, TMainHeader& m) {
  if (n < kMainFixedSize || h[4] != kTypeMain) return false;
  if (std::memcmp(h + 7, kSignature, kSignatureSize) != 0) return false;
  m = TMainHeader();
  m.flags = Le16(h + 5);
  m.verExtract = h[14];
  m.verCreated = h[15];
  m.host = h[16];
  m.volume = h[17];
  m.time = Le32(h + 18);
  size_t pos = kMainFixedSize;
  if (m.flags & kMainAv) {
    if (pos + 1 > n) return false;
    const size_t len = h[pos++];
    if (pos + len > n) return false;
    m.av.assign(reinterpret_cast<const char*>(h + pos), len);
    pos += len;
  }
  if ((m.flags & kFlagComment) && !TakeCounted(h, n, pos, &m.comment)) return false;
  return true;
}

bool ParseFileHeader(const uint8_t* h, size_t n, TFileHeader& f) {
  if (n < 7) return false;
  f = TFileHeader();
  f.type = h[4];
  f.flags = Le16(h + 5);
  size_t pos;
  if (f.type == kTypeFile && !(f.flags & kFlag64Bit)) {
    if (n < kFileFixedSize) return false;
    f.packSize = Le32(h + 7);
    f.origSize = Le32(h + 11);
    pos = 15;
  } else if (f.type == kTypeFile64 && (f.flags & kFlag64Bit)) {
    if (n < kFile64FixedSize) return false;
    f.packSize = Le64(h + 7);
    f.origSize = Le64(h + 15);
    pos = 23;
  } else {
    return false;
  }
  f.time = Le32(h + pos);
  f.attr = Le32(h + pos + 4);
  f.crc = Le32(h + pos + 8);
  f.compType = h[pos + 12];
  f.compQual = h[pos + 13];
  f.params = Le16(h + pos + 14);
  pos += 18;  // and the reserved u16
  std::string name;
  if (!TakeCounted(h, n, pos, &name)) return false;
  f.name = name.substr(0, name.find('\0'));
  if ((f.flags & kFlagComment) && !TakeCounted(h, n, pos, &f.comment)) return false;
  if ((f.flags & kFileSecurity) && !TakeCounted(h, n, pos, nullptr)) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Files

TFile::~TFile() { Close(); }

bool TFile::Open(const std::string& path) {
  Close();
  handle_ = plat::FileOpen(path, plat::fmOpenRead | plat::fmShareDenyWrite);
  if (handle_ < 0) return false;
  size_ = plat::FileSizeOf(handle_);
  if (size_ < 0) {
    Close();
    return false;
  }
  return true;
}

void TFile::Close() {
  if (handle_ >= 0) plat::FileClose(handle_);
  handle_ = -1;
  size_ = 0;
}

int64_t TFile::ReadAt(int64_t pos, void* buf, size_t n) {
  if (handle_ < 0 || pos < 0) return -1;
  if (plat::FileSeek(handle_, pos, plat::soFromBeginning) != pos) return -1;
  auto* out = static_cast<uint8_t*>(buf);
  size_t done = 0;
  while (done < n) {
    const int64_t got = plat::FileRead(handle_, out + done, static_cast<int64_t>(n - done));
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

TResult ReadBlock(TFile& f, int64_t pos, std::vector<uint8_t>& bytes) {
  uint8_t head[4];
  const int64_t got = f.ReadAt(pos, head, sizeof head);
  if (got < 0) return TResult::ReadError;
  if (got < 4) return TResult::Truncated;
  const size_t size = Le16(head + 2);
  if (size < 3) return TResult::BadHeader;
  bytes.resize(4 + size);
  const int64_t all = f.ReadAt(pos, bytes.data(), bytes.size());
  if (all < 0) return TResult::ReadError;
  if (static_cast<size_t>(all) < bytes.size()) return TResult::Truncated;
  return HeaderCrcOk(bytes.data(), bytes.size()) ? TResult::Ok : TResult::BadHeader;
}

bool LocateMainHeader(TFile& f, int64_t limit, int64_t& pos, TMainHeader& m, std::vector<uint8_t>& bytes) {
  auto tryAt = [&](int64_t p) {
    return ReadBlock(f, p, bytes) == TResult::Ok && ParseMainHeader(bytes.data(), bytes.size(), m);
  };
  if (tryAt(0)) {
    pos = 0;
    return true;
  }
  const int64_t span = std::min(limit, f.Size());
  if (span <= static_cast<int64_t>(kSignatureSize)) return false;
  std::vector<uint8_t> area(static_cast<size_t>(span));
  if (f.ReadAt(0, area.data(), area.size()) != span) return false;
  auto it = area.begin() + kSignatureSize;
  while ((it = std::search(it, area.end(), kSignature, kSignature + kSignatureSize)) != area.end()) {
    const int64_t p = (it - area.begin()) - static_cast<int64_t>(kSignatureSize);
    if (tryAt(p)) {
      pos = p;
      return true;
    }
    ++it;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Volume names

std::string VolumePath(const std::string& first, int index) {
  if (index <= 0) return first;
  const size_t slash = first.find_last_of("/\\");
  const size_t dot = first.rfind('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExt ? first.substr(0, dot) : first;
  const bool upper = hasExt && dot + 1 < first.size() && std::isupper(static_cast<unsigned char>(first[dot + 1]));
  const int n = index - 1;
  std::string ext = ".";
  if (n < 100) {
    ext += upper ? 'C' : 'c';
    if (n < 10) ext += '0';
  }
  return stem + ext + std::to_string(n);
}

std::string ExistingVolumeCase(const std::string& path) {
  if (plat::FileExists(path)) return path;
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  std::string other = path;
  for (size_t i = dot + 1; i < other.size(); ++i) {
    const auto c = static_cast<unsigned char>(other[i]);
    other[i] = static_cast<char>(std::isupper(c) ? std::tolower(c) : std::toupper(c));
  }
  return plat::FileExists(other) ? other : path;
}

}  // namespace ace
