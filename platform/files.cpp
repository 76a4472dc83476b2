// Handles, errors, attributes and dates of single files. Folder operations,
// temporary names and directory listing live in files_dirs.cpp.
#include "platform/files.h"

#include "platform/file_attr.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

namespace plat {

namespace {

// A single read/write call moves at most this much; larger requests loop.
constexpr int64_t kMaxChunk = 1 << 30;

int OpenRetry(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Opening a folder succeeds on this system but nothing useful can be done with
// the handle; the engine expects such an open to fail.
Handle RefuseDirectory(int fd) {
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return kNoHandle;
  }
  return fd < 0 ? kNoHandle : fd;
}

// A FIFO, a device or a socket opened for reading would block or never end:
// only regular files are opened. The open itself never waits (O_NONBLOCK,
// switched off again for the regular file kept).
Handle RefuseSpecial(int fd) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return RefuseDirectory(fd);
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = kErrNotRegular;
    return kNoHandle;
  }
  const int fl = fcntl(fd, F_GETFL);
  if (fl >= 0) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return RefuseDirectory(fd);
}

FileReadLimitHook g_readLimit = nullptr;

std::string LastComponent(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  size_t start = path.rfind('/', end - 1);
  start = (start == std::string::npos) ? 0 : start + 1;
  return path.substr(start, end - start);
}

// chmod that never acts on a link's target: fchmodat refuses links with
// EOPNOTSUPP when it cannot change the link itself (links have no mode here).
bool ChmodNoFollow(const std::string& path, mode_t mode) {
  if (fchmodat(AT_FDCWD, path.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0) return true;
  if (errno == EOPNOTSUPP || errno == ENOTSUP) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      errno = ELOOP;
      return false;
    }
    // Without /proc some libraries cannot do the no-follow form at all:
    // change the mode through a handle opened without following links.
    int fd = OpenRetry(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
      bool ok = fchmod(fd, mode) == 0;
      int saved = errno;
      ::close(fd);
      errno = saved;
      return ok;
    }
    if (errno == ELOOP) return false;
    // Unreadable (mode 000): the lstat above said it is no link.
    return fchmodat(AT_FDCWD, path.c_str(), mode, 0) == 0;
  }
  return false;
}

}  // namespace

uint32_t AttrFromStat(const struct stat& st, std::string_view name) {
  uint32_t attr = 0;
  if (S_ISLNK(st.st_mode)) {
    attr |= faSymLink;
  } else if (S_ISDIR(st.st_mode)) {
    attr |= faDirectory;
  } else if (S_ISREG(st.st_mode)) {
    attr |= faArchive;
  }
  if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
  if (name.size() > 1 && name[0] == '.' && name != "..") attr |= faHidden;
  return attr;
}

Handle FileOpen(const std::string& path, int mode) {
  if (mode == fmCreate) return FileCreate(path);
  int flags = O_CLOEXEC;
  switch (mode & 3) {
    case fmOpenWrite:
      flags |= O_WRONLY | O_NOFOLLOW;
      break;
    case fmOpenReadWrite:
      flags |= O_RDWR | O_NOFOLLOW;
      break;
    default:
      flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY;
      return RefuseSpecial(OpenRetry(path.c_str(), flags));
  }
  return RefuseDirectory(OpenRetry(path.c_str(), flags));
}

Handle FileCreate(const std::string& path) {
  int fd = OpenRetry(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  return fd < 0 ? kNoHandle : fd;
}

Handle FileCreateNew(const std::string& path) {
  int fd = OpenRetry(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  return fd < 0 ? kNoHandle : fd;
}

int64_t FileRead(Handle h, void* buffer, int64_t count) {
  if (h < 0 || count < 0 || (buffer == nullptr && count > 0)) {
    errno = EBADF;
    return -1;
  }
  auto* p = static_cast<char*>(buffer);
  if (g_readLimit != nullptr) count = std::clamp<int64_t>(g_readLimit(h, count), 0, count);
  int64_t done = 0;
  while (done < count) {
    size_t want = static_cast<size_t>(std::min(count - done, kMaxChunk));
    ssize_t n = ::read(h, p + done, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (n == 0) break;  // end of file
    done += n;
  }
  return done;
}

int64_t FileWrite(Handle h, const void* buffer, int64_t count) {
  if (h < 0 || count < 0 || (buffer == nullptr && count > 0)) {
    errno = EBADF;
    return -1;
  }
  const auto* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    size_t want = static_cast<size_t>(std::min(count - done, kMaxChunk));
    ssize_t n = ::write(h, p + done, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      // A partial write is reported as the short count; errno tells why (disk full).
      return done > 0 ? done : -1;
    }
    if (n == 0) {
      errno = ENOSPC;
      break;
    }
    done += n;
  }
  return done;
}

int64_t FileSeek(Handle h, int64_t offset, int origin) {
  int whence;
  switch (origin) {
    case soFromBeginning:
      whence = SEEK_SET;
      break;
    case soFromCurrent:
      whence = SEEK_CUR;
      break;
    case soFromEnd:
      whence = SEEK_END;
      break;
    default:
      errno = EINVAL;
      return -1;
  }
  if (whence == SEEK_SET && offset < 0) {
    errno = EINVAL;
    return -1;
  }
  off_t r = ::lseek(h, static_cast<off_t>(offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

bool FileTruncate(Handle h, int64_t size) {
  if (size < 0) {
    errno = EINVAL;
    return false;
  }
  int r;
  do {
    r = ::ftruncate(h, static_cast<off_t>(size));
  } while (r < 0 && errno == EINTR);
  return r == 0;
}

bool FileClose(Handle h) {
  if (h < 0) {
    errno = EBADF;
    return false;
  }
  // close() must not be retried on EINTR: the descriptor is gone either way.
  return ::close(h) == 0;
}

int64_t FileSizeOf(Handle h) {
  struct stat st;
  if (h < 0 || fstat(h, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int LastError() { return errno; }
void SetLastError(int err) { errno = err; }
// EFBIG (a file-size limit, ulimit -f) is a write error: the disk has room.
bool IsDiskFullError(int err) { return err == ENOSPC || err == EDQUOT; }

namespace {
// strerror_r comes in two flavours; overloads pick whichever this library has.
[[maybe_unused]] std::string StrErr(int ret, const char* buf) { return ret == 0 ? std::string(buf) : std::string(); }
[[maybe_unused]] std::string StrErr(const char* ret, const char*) { return ret ? std::string(ret) : std::string(); }
}  // namespace

void SetFileReadLimitHook(FileReadLimitHook hook) { g_readLimit = hook; }

std::string ErrorText(int err) {
  if (err == kErrNotRegular) return "not a regular file (a FIFO, device or socket)";
  char buf[256] = {};
  std::string text = StrErr(strerror_r(err, buf, sizeof buf), buf);
  if (text.empty()) text = "Unknown error " + std::to_string(err);
  return text;
}

int64_t FileGetAttr(const std::string& path) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) != 0) return -1;
  return AttrFromStat(st, LastComponent(path));
}

bool FileSetAttr(const std::string& path, uint32_t attr) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    errno = ELOOP;
    return false;
  }
  mode_t mode = st.st_mode & 07777;
  if (attr & faReadOnly) {
    mode &= ~static_cast<mode_t>(0222);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return true;
  return ChmodNoFollow(path, mode);
}

bool FileSetMode(const std::string& path, uint32_t mode) {
  return ChmodNoFollow(path, static_cast<mode_t>(mode & 0777));
}

namespace {
FileInfo InfoOf(const std::string& path, bool follow) {
  FileInfo info;
  struct stat st;
  if (path.empty() || (follow ? ::stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) return info;
  info.exists = true;
  info.isDir = S_ISDIR(st.st_mode);
  info.isLink = S_ISLNK(st.st_mode);
  info.size = info.isDir ? 0 : static_cast<int64_t>(st.st_size);
  info.mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
  info.ctime = static_cast<int64_t>(st.st_ctim.tv_sec);
  info.attr = AttrFromStat(st, LastComponent(path));
  info.mode = static_cast<uint32_t>(st.st_mode);
  info.device = static_cast<uint64_t>(st.st_dev);
  info.inode = static_cast<uint64_t>(st.st_ino);
  return info;
}
}  // namespace

FileInfo FileStat(const std::string& path) { return InfoOf(path, false); }
FileInfo TargetStat(const std::string& path) { return InfoOf(path, true); }

bool FileIdentity(const std::string& path, uint64_t& device, uint64_t& inode) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  device = static_cast<uint64_t>(st.st_dev);
  inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileSetDate(const std::string& path, int64_t unixTime) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(unixTime);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool FileSetDate(Handle h, int64_t unixTime) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(unixTime);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return h >= 0 && futimens(h, times) == 0;
}

}  // namespace plat
