#include "engine/other/zidLibArchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace zid {

namespace {

constexpr int64_t kBlockSize = 65536;
// The longest cpio name taken (libarchive would allocate whatever a header claims, up to 4 GiB).
constexpr int64_t kMaxCpioName = 65536;
constexpr int kNewcHeader = 110;

int64_t HexField(const uint8_t* p, int n) {
  int64_t v = 0;
  for (int i = 0; i < n; ++i) {
    const int c = p[i];
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

}  // namespace

bool LibArchiveFamily(TArcType type, TLaFamily* family) {
  TLaFamily f;
  switch (type) {
    case atSevenZip: f = TLaFamily::SevenZip; break;
    case atIso: f = TLaFamily::Iso9660; break;
    case atCpio: f = TLaFamily::Cpio; break;
    default: return false;
  }
  if (family != nullptr) *family = f;
  return true;
}

// libarchive's callbacks: the archive as the bytes from start_ on, read in blocks.
struct TLaCallbacks {
  static la_ssize_t Read(struct archive*, void* self, const void** buf) {
    TLibArchive& t = *static_cast<TLibArchive*>(self);
    const int64_t want = std::min(kBlockSize, t.size_ - t.pos_);
    *buf = t.block_.get();
    if (want <= 0) return 0;
    const int64_t got = t.read_(t.start_ + t.pos_, t.block_.get(), want);
    if (got < 0) return ARCHIVE_FATAL;
    t.pos_ += got;
    return static_cast<la_ssize_t>(got);
  }
  static la_int64_t Seek(struct archive*, void* self, la_int64_t offset, int whence) {
    TLibArchive& t = *static_cast<TLibArchive*>(self);
    int64_t to = offset;
    if (whence == SEEK_CUR) to = t.pos_ + offset;
    else if (whence == SEEK_END) to = t.size_ + offset;
    if (to < 0 || to > t.size_) return ARCHIVE_FATAL;
    t.pos_ = to;
    return to;
  }
  static la_int64_t Skip(struct archive*, void* self, la_int64_t request) {
    TLibArchive& t = *static_cast<TLibArchive*>(self);
    const int64_t n = std::max<int64_t>(0, std::min<int64_t>(request, t.size_ - t.pos_));
    t.pos_ += n;
    return n;
  }
};

// The new cpio forms (070701, 070702) give a name size of eight hex digits,
// which libarchive allocates before it reads the name; and it looks for the
// next header anywhere after a damaged one. So every place such a header
// could start is checked first: a claimed name past the limit is an error
// here, not an allocation there. The old forms hold at most 256 KiB.
bool TLibArchive::CpioNamesFit() {
  std::vector<uint8_t> buf(static_cast<size_t>(kBlockSize + kNewcHeader));
  for (int64_t at = 0; at < size_; at += kBlockSize) {
    const int64_t want = std::min<int64_t>(static_cast<int64_t>(buf.size()), size_ - at);
    const int64_t got = read_(start_ + at, buf.data(), want);
    if (got < kNewcHeader) return true;
    for (int64_t i = 0; i + kNewcHeader <= got && i < kBlockSize; ++i) {
      const uint8_t* h = buf.data() + i;
      if (h[0] != '0' || std::memcmp(h, "07070", 5) != 0 || (h[5] != '1' && h[5] != '2')) continue;
      const int64_t nameSize = HexField(h + 94, 8);
      if (nameSize <= kMaxCpioName) continue;
      failed_ = true;
      error_ = "a cpio name of " + std::to_string(nameSize) + " bytes at offset " + std::to_string(start_ + at + i);
      return false;
    }
  }
  return true;
}

TLibArchive::TLibArchive(TLaFamily family, TReadAt read, int64_t size, int64_t start)
    : family_(family), read_(std::move(read)), size_(std::max<int64_t>(0, size - std::max<int64_t>(0, start))),
      start_(std::max<int64_t>(0, start)), block_(new uint8_t[kBlockSize]) {}

TLibArchive::~TLibArchive() {
  if (a_ != nullptr) archive_read_free(a_);
}

void TLibArchive::TakeError(const char* fallback) {
  failed_ = true;
  const char* s = a_ != nullptr ? archive_error_string(a_) : nullptr;
  error_ = s != nullptr && *s ? s : fallback;
}

bool TLibArchive::Open() {
  a_ = archive_read_new();
  if (a_ == nullptr) {
    failed_ = true;
    error_ = "out of memory";
    return false;
  }
  // One format each: an archive of another family is never read through this one's line.
  int r = ARCHIVE_FATAL;
  switch (family_) {
    case TLaFamily::SevenZip: r = archive_read_support_format_7zip(a_); break;
    case TLaFamily::Iso9660: r = archive_read_support_format_iso9660(a_); break;
    case TLaFamily::Cpio: r = archive_read_support_format_cpio(a_); break;
  }
  if (r != ARCHIVE_OK) {
    TakeError("the format is not in this libarchive");
    return false;
  }
  if (family_ == TLaFamily::Cpio && !CpioNamesFit()) return false;
  archive_read_set_read_callback(a_, TLaCallbacks::Read);
  archive_read_set_seek_callback(a_, TLaCallbacks::Seek);
  archive_read_set_skip_callback(a_, TLaCallbacks::Skip);
  archive_read_set_callback_data(a_, this);
  if (archive_read_open1(a_) != ARCHIVE_OK) {
    TakeError("the archive cannot be opened");
    return false;
  }
  return true;
}

TLaStep TLibArchive::Next(TLaEntry& e) {
  if (failed_ || a_ == nullptr) return TLaStep::Error;
  struct archive_entry* ae = nullptr;
  const int r = archive_read_next_header(a_, &ae);
  if (r == ARCHIVE_EOF) return TLaStep::End;
  if (r < ARCHIVE_WARN || ae == nullptr) {
    TakeError("damaged header");
    return TLaStep::Error;
  }
  e = TLaEntry();
  const char* u = archive_entry_pathname_utf8(ae);
  const char* raw = archive_entry_pathname(ae);
  e.utf8 = u != nullptr;
  e.name = u != nullptr ? u : raw != nullptr ? raw : "";
  e.size = archive_entry_size_is_set(ae) ? archive_entry_size(ae) : -1;
  e.mtime = archive_entry_mtime_is_set(ae) ? archive_entry_mtime(ae) : -1;
  e.mode = archive_entry_perm(ae) & 07777;
  e.links = archive_entry_nlink(ae);
  e.encrypted = archive_entry_is_encrypted(ae) != 0;
  e.headerOffset = start_ + std::max<int64_t>(0, archive_read_header_position(a_));
  const char* hard = archive_entry_hardlink(ae);
  switch (archive_entry_filetype(ae)) {
    case AE_IFREG: e.kind = 'f'; break;
    case AE_IFDIR: e.kind = 'd'; break;
    case AE_IFLNK: e.kind = 'l'; break;
    default: e.kind = 's'; break;
  }
  if (hard != nullptr && *hard) {
    e.kind = 'h';
    e.link = hard;
  } else if (e.kind == 'l') {
    const char* t = archive_entry_symlink_utf8(ae);
    if (t == nullptr) t = archive_entry_symlink(ae);
    e.link = t != nullptr ? t : "";
  }
  return TLaStep::Entry;
}

int64_t TLibArchive::Read(void* buf, int64_t n) {
  if (failed_ || a_ == nullptr) return -1;
  const la_ssize_t got = archive_read_data(a_, buf, static_cast<size_t>(std::max<int64_t>(0, n)));
  if (got < 0) {
    // The entry is lost; after anything short of fatal the next header can still be read.
    TakeError("damaged data");
    failed_ = got == ARCHIVE_FATAL;
    return -1;
  }
  return got;
}

}  // namespace zid
