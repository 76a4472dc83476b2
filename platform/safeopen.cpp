#include "platform/safeopen.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace plat {

namespace {

// Owns one descriptor.
struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  void reset(int f) {
    if (fd >= 0) ::close(fd);
    fd = f;
  }
  int release() {
    int f = fd;
    fd = -1;
    return f;
  }
};

bool ValidComponent(const std::string& c) {
  return !c.empty() && c != "." && c != ".." && c.find('/') == std::string::npos &&
         c.find('\0') == std::string::npos;
}

// Walks root/components[0..count) as folders, creating them when asked.
// Returns the descriptor of the last folder, or -1 with errno set.
int OpenFolders(const std::string& root, const std::vector<std::string>& comps, size_t count, bool create) {
  if (count > kMaxFolderDepth) {
    errno = ENAMETOOLONG;
    return -1;
  }
  Fd dir(::open(root.empty() ? "." : root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd < 0) return -1;
  for (size_t i = 0; i < count; ++i) {
    const std::string& c = comps[i];
    if (!ValidComponent(c)) {
      errno = EINVAL;
      return -1;
    }
    int next = ::openat(dir.fd, c.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
      if (::mkdirat(dir.fd, c.c_str(), 0777) != 0 && errno != EEXIST) return -1;
      next = ::openat(dir.fd, c.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) return -1;  // ELOOP for a link, ENOTDIR for a file
    dir.reset(next);
  }
  return dir.release();
}

// A name of the form ".zefa-<pid>-<n>.<suffix>" not used yet in the folder,
// taken by make(name) (which fails with EEXIST when the name is in use).
template <typename Make>
bool MakeUnderTempName(const char* suffix, std::string& temp, Make make) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char buf[64];
    std::snprintf(buf, sizeof buf, ".zefa-%d-%u.%s", static_cast<int>(::getpid()), counter++, suffix);
    if (make(buf)) {
      temp = buf;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// Refuses a last component that a link or a file may not replace (a folder,
// a fifo, a device): EISDIR / EINVAL.
bool ReplaceableName(int dir, const std::string& name) {
  struct stat st;
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return true;
  if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return true;
  errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  return false;
}

// Renames the temporary name over the final one; removes it when that fails.
bool PutInPlace(int dir, const std::string& temp, const std::string& name) {
  if (::renameat(dir, temp.c_str(), dir, name.c_str()) == 0) return true;
  const int err = errno;
  ::unlinkat(dir, temp.c_str(), 0);
  errno = err;
  return false;
}

}  // namespace

bool CreateSymlinkBeneath(const std::string& root, const std::vector<std::string>& comps, const std::string& target,
                          int64_t unixTime) {
  if (comps.empty() || !ValidComponent(comps.back()) || target.empty() || target.find('\0') != std::string::npos) {
    errno = EINVAL;
    return false;
  }
  Fd dir(OpenFolders(root, comps, comps.size() - 1, true));
  if (dir.fd < 0 || !ReplaceableName(dir.fd, comps.back())) return false;
  std::string temp;
  if (!MakeUnderTempName("link", temp, [&](const char* n) { return ::symlinkat(target.c_str(), dir.fd, n) == 0; }))
    return false;
  if (unixTime >= 0) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(unixTime);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ::utimensat(dir.fd, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);  // a date that cannot be set is no failure
  }
  return PutInPlace(dir.fd, temp, comps.back());
}

bool CreateHardLinkBeneath(const std::string& root, const std::vector<std::string>& source,
                           const std::vector<std::string>& comps) {
  if (source.empty() || !ValidComponent(source.back()) || comps.empty() || !ValidComponent(comps.back())) {
    errno = EINVAL;
    return false;
  }
  Fd from(OpenFolders(root, source, source.size() - 1, false));
  if (from.fd < 0) return false;
  struct stat st;
  if (::fstatat(from.fd, source.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return false;
  }
  Fd dir(OpenFolders(root, comps, comps.size() - 1, true));
  if (dir.fd < 0 || !ReplaceableName(dir.fd, comps.back())) return false;
  std::string temp;
  // No AT_SYMLINK_FOLLOW: a link is never resolved on the way.
  if (!MakeUnderTempName("link", temp, [&](const char* n) {
        return ::linkat(from.fd, source.back().c_str(), dir.fd, n, 0) == 0;
      }))
    return false;
  if (!PutInPlace(dir.fd, temp, comps.back())) return false;
  // A rename between two names of one file does nothing: the final name
  // already stood for the source, and the temporary name goes.
  ::unlinkat(dir.fd, temp.c_str(), 0);
  return true;
}

Handle CreateFileBeneath(const std::string& root, const std::vector<std::string>& comps, Existing how) {
  if (comps.empty() || !ValidComponent(comps.back())) {
    errno = EINVAL;
    return kNoHandle;
  }
  Fd dir(OpenFolders(root, comps, comps.size() - 1, true));
  if (dir.fd < 0) return kNoHandle;
  const char* name = comps.back().c_str();
  struct stat st;
  if (::fstatat(dir.fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the link itself; what it points at stays as it was.
    if (::unlinkat(dir.fd, name, 0) != 0) return kNoHandle;
  }
  // O_NONBLOCK: a fifo planted at the name fails at once instead of waiting for a reader.
  int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (how == Existing::Append ? O_APPEND : O_TRUNC);
  int fd = ::openat(dir.fd, name, flags, 0666);
  if (fd < 0) return kNoHandle;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // a fifo or device planted at the name
    ::close(fd);
    errno = EINVAL;
    return kNoHandle;
  }
  return fd;
}

bool CreateDirsBeneath(const std::string& root, const std::vector<std::string>& comps) {
  Fd dir(OpenFolders(root, comps, comps.size(), true));
  return dir.fd >= 0;
}

FileInfo StatBeneath(const std::string& root, const std::vector<std::string>& comps) {
  FileInfo info;
  if (comps.empty()) return info;
  Fd dir(OpenFolders(root, comps, comps.size() - 1, false));
  if (dir.fd < 0) return info;
  struct stat st;
  if (::fstatat(dir.fd, comps.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return info;
  info.exists = true;
  info.isDir = S_ISDIR(st.st_mode);
  info.isLink = S_ISLNK(st.st_mode);
  info.size = st.st_size;
  info.mtime = st.st_mtime;
  info.ctime = st.st_ctime;
  info.mode = st.st_mode;
  info.device = st.st_dev;
  info.inode = st.st_ino;
  uint32_t attr = 0;
  if (info.isDir) attr |= faDirectory;
  else if (info.isLink) attr |= faSymLink;
  else attr |= faArchive;
  if (!(st.st_mode & S_IWUSR)) attr |= faReadOnly;
  if (comps.back()[0] == '.') attr |= faHidden;
  info.attr = attr;
  return info;
}

bool MakeWritableBeneath(const std::string& root, const std::vector<std::string>& comps) {
  if (comps.empty()) return false;
  Fd dir(OpenFolders(root, comps, comps.size() - 1, false));
  if (dir.fd < 0) return false;
  Fd f(::openat(dir.fd, comps.back().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (f.fd < 0) return false;
  struct stat st;
  if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ::fchmod(f.fd, (st.st_mode & 07777) | S_IWUSR) == 0;
}

// ---------------------------------------------------------------------------
// PendingFile

PendingFile::~PendingFile() {
  Discard();
  CloseDir();
}

void PendingFile::CloseDir() {
  if (dir_ >= 0) ::close(dir_);
  dir_ = -1;
  dirComps_.clear();
}

bool PendingFile::CloseHandle() {
  bool ok = true;
  if (fd_ >= 0) ok = ::close(fd_) == 0;
  fd_ = kNoHandle;
  return ok;
}

Handle PendingFile::Open(const std::string& root, const std::vector<std::string>& comps, Existing how) {
  Discard();
  if (comps.empty() || !ValidComponent(comps.back())) {
    errno = EINVAL;
    return kNoHandle;
  }
  const std::vector<std::string> folder(comps.begin(), comps.end() - 1);
  if (dir_ < 0 || root != dirRoot_ || folder != dirComps_) {
    CloseDir();
    dir_ = OpenFolders(root, comps, comps.size() - 1, true);
    if (dir_ < 0) return kNoHandle;
    dirRoot_ = root;
    dirComps_ = folder;
  }
  const std::string& name = comps.back();
  struct stat st;
  if (::fstatat(dir_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return kNoHandle;
  }
  if (how == Existing::Append) {
    if (S_ISLNK(st.st_mode) && ::unlinkat(dir_, name.c_str(), 0) != 0) return kNoHandle;
    int fd = ::openat(dir_, name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return kNoHandle;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      errno = EINVAL;
      return kNoHandle;
    }
    fd_ = fd;
    final_.clear();  // nothing to rename
    temp_.clear();
    return fd_;
  }
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char buf[64];
    std::snprintf(buf, sizeof buf, ".zefa-%d-%u.part", static_cast<int>(::getpid()), counter++);
    int fd = ::openat(dir_, buf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temp_ = buf;
      final_ = name;
      return fd_;
    }
    if (errno != EEXIST) return kNoHandle;
  }
  return kNoHandle;
}

bool PendingFile::Commit() {
  CloseHandle();
  if (temp_.empty()) return true;  // appended in place
  const bool ok = ::renameat(dir_, temp_.c_str(), dir_, final_.c_str()) == 0;
  const int err = errno;
  if (!ok) ::unlinkat(dir_, temp_.c_str(), 0);
  temp_.clear();
  final_.clear();
  errno = err;
  return ok;
}

void PendingFile::Discard() {
  CloseHandle();
  if (!temp_.empty() && dir_ >= 0) ::unlinkat(dir_, temp_.c_str(), 0);
  temp_.clear();
  final_.clear();
}

bool HandleIdentity(Handle h, uint64_t& device, uint64_t& inode) {
  struct stat st;
  if (h < 0 || ::fstat(h, &st) != 0) return false;
  device = static_cast<uint64_t>(st.st_dev);
  inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool HandleSetMode(Handle h, uint32_t mode) { return h >= 0 && ::fchmod(h, mode & 0777) == 0; }

bool HandleSetReadOnly(Handle h, bool readOnly) {
  struct stat st;
  if (h < 0 || ::fstat(h, &st) != 0) return false;
  mode_t m = st.st_mode & 07777;
  m = readOnly ? (m & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (m | S_IWUSR);
  return ::fchmod(h, m) == 0;
}

}  // namespace plat
