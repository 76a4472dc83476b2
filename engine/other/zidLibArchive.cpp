#include "engine/other/zidLibArchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace zid {

namespace {

// libarchive is loaded when a 7z, ISO or cpio archive is first opened, not
// at start: with libxml2 and ICU behind it, linking it would cost every run
// of the program several milliseconds, most of a small archive's test.
#define ZEFA_LIBARCHIVE_FUNCTIONS(X) \
  X(archive_entry_filetype) \
  X(archive_entry_hardlink) \
  X(archive_entry_is_encrypted) \
  X(archive_entry_mtime) \
  X(archive_entry_mtime_is_set) \
  X(archive_entry_nlink) \
  X(archive_entry_pathname) \
  X(archive_entry_pathname_utf8) \
  X(archive_entry_perm) \
  X(archive_entry_size) \
  X(archive_entry_size_is_set) \
  X(archive_entry_symlink) \
  X(archive_entry_symlink_utf8) \
  X(archive_error_string) \
  X(archive_read_data) \
  X(archive_read_free) \
  X(archive_read_header_position) \
  X(archive_read_new) \
  X(archive_read_next_header) \
  X(archive_read_open1) \
  X(archive_read_set_callback_data) \
  X(archive_read_set_read_callback) \
  X(archive_read_set_seek_callback) \
  X(archive_read_set_skip_callback) \
  X(archive_read_support_format_7zip) \
  X(archive_read_support_format_cpio) \
  X(archive_read_support_format_iso9660)

struct TLaApi {
#define X(f) decltype(&::f) f = nullptr;
  ZEFA_LIBARCHIVE_FUNCTIONS(X)
#undef X
  bool loaded = false;
};

const TLaApi& La() {
  static const TLaApi api = [] {
    TLaApi a;
    void* lib = dlopen("libarchive.so.13", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return a;
    a.loaded = true;
#define X(f)                                                   \
  a.f = reinterpret_cast<decltype(&::f)>(dlsym(lib, #f));      \
  if (a.f == nullptr) a.loaded = false;
    ZEFA_LIBARCHIVE_FUNCTIONS(X)
#undef X
    return a;
  }();
  return api;
}

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
  if (a_ != nullptr) La().archive_read_free(a_);
}

void TLibArchive::TakeError(const char* fallback) {
  failed_ = true;
  const char* s = a_ != nullptr ? La().archive_error_string(a_) : nullptr;
  error_ = s != nullptr && *s ? s : fallback;
}

bool TLibArchive::Open() {
  if (!La().loaded) {
    failed_ = true;
    error_ = "libarchive (libarchive.so.13), which reads this format, could not be loaded";
    return false;
  }
  a_ = La().archive_read_new();
  if (a_ == nullptr) {
    failed_ = true;
    error_ = "out of memory";
    return false;
  }
  // One format each: an archive of another family is never read through this one's line.
  int r = ARCHIVE_FATAL;
  switch (family_) {
    case TLaFamily::SevenZip: r = La().archive_read_support_format_7zip(a_); break;
    case TLaFamily::Iso9660: r = La().archive_read_support_format_iso9660(a_); break;
    case TLaFamily::Cpio: r = La().archive_read_support_format_cpio(a_); break;
  }
  if (r != ARCHIVE_OK) {
    TakeError("the format is not in this libarchive");
    return false;
  }
  if (family_ == TLaFamily::Cpio && !CpioNamesFit()) return false;
  La().archive_read_set_read_callback(a_, TLaCallbacks::Read);
  La().archive_read_set_seek_callback(a_, TLaCallbacks::Seek);
  La().archive_read_set_skip_callback(a_, TLaCallbacks::Skip);
  La().archive_read_set_callback_data(a_, this);
  if (La().archive_read_open1(a_) != ARCHIVE_OK) {
    TakeError("the archive cannot be opened");
    return false;
  }
  return true;
}

TLaStep TLibArchive::Next(TLaEntry& e) {
  if (failed_ || a_ == nullptr) return TLaStep::Error;
  struct archive_entry* ae = nullptr;
  const int r = La().archive_read_next_header(a_, &ae);
  if (r == ARCHIVE_EOF) return TLaStep::End;
  if (r < ARCHIVE_WARN || ae == nullptr) {
    TakeError("damaged header");
    return TLaStep::Error;
  }
  e = TLaEntry();
  const char* u = La().archive_entry_pathname_utf8(ae);
  const char* raw = La().archive_entry_pathname(ae);
  e.utf8 = u != nullptr;
  e.name = u != nullptr ? u : raw != nullptr ? raw : "";
  e.size = La().archive_entry_size_is_set(ae) ? La().archive_entry_size(ae) : -1;
  e.mtime = La().archive_entry_mtime_is_set(ae) ? La().archive_entry_mtime(ae) : -1;
  e.mode = La().archive_entry_perm(ae) & 07777;
  e.links = La().archive_entry_nlink(ae);
  e.encrypted = La().archive_entry_is_encrypted(ae) != 0;
  e.headerOffset = start_ + std::max<int64_t>(0, La().archive_read_header_position(a_));
  const char* hard = La().archive_entry_hardlink(ae);
  switch (La().archive_entry_filetype(ae)) {
    case AE_IFREG: e.kind = 'f'; break;
    case AE_IFDIR: e.kind = 'd'; break;
    case AE_IFLNK: e.kind = 'l'; break;
    default: e.kind = 's'; break;
  }
  if (hard != nullptr && *hard) {
    e.kind = 'h';
    e.link = hard;
  } else if (e.kind == 'l') {
    const char* t = La().archive_entry_symlink_utf8(ae);
    if (t == nullptr) t = La().archive_entry_symlink(ae);
    e.link = t != nullptr ? t : "";
  }
  return TLaStep::Entry;
}

int64_t TLibArchive::Read(void* buf, int64_t n) {
  if (failed_ || a_ == nullptr) return -1;
  const la_ssize_t got = La().archive_read_data(a_, buf, static_cast<size_t>(std::max<int64_t>(0, n)));
  if (got < 0) {
    // The entry is lost; after anything short of fatal the next header can still be read.
    TakeError("damaged data");
    failed_ = got == ARCHIVE_FATAL;
    return -1;
  }
  return got;
}

}  // namespace zid
