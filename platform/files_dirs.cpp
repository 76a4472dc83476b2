// Folder operations, moves and copies, temporary names, free space and
// directory listing. Single-file handles and attributes are in files.cpp.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "platform/file_attr.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace plat {

namespace {

constexpr size_t kCopyChunk = 128 * 1024;

FileSystemIdHook g_fsIdHook = nullptr;
std::atomic<bool> g_unnamedFiles{true};

// Keeps errno across clean-up calls so the caller sees the first failure.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : saved_(errno) {}
  ~ErrnoKeeper() { errno = saved_; }

 private:
  int saved_;
};

bool CopyData(int in, int out) {
  std::unique_ptr<char[]> buf(new char[kCopyChunk]);
  for (;;) {
    int64_t n = FileRead(in, buf.get(), kCopyChunk);
    if (n < 0) return false;
    if (n == 0) return true;
    if (FileWrite(out, buf.get(), n) != n) return false;
  }
}

bool RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0;
  std::vector<FindData> entries;
  if (!ListDirectory(path, entries)) return false;
  bool ok = true;
  for (const auto& e : entries) ok = RemoveTree(path + "/" + e.name) && ok;
  return ::rmdir(path.c_str()) == 0 && ok;
}

// Copies a file, a link (as a link) or a whole folder to a new name.
bool CopyTree(const std::string& from, const std::string& to) {
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    ssize_t n = ::readlink(from.c_str(), target.data(), target.size() - 1);
    if (n < 0) return false;
    target[static_cast<size_t>(n)] = '\0';
    return ::symlink(target.data(), to.c_str()) == 0;
  }
  if (S_ISREG(st.st_mode)) return CopyFile(from, to, true);
  if (!S_ISDIR(st.st_mode)) {
    errno = EINVAL;  // devices, pipes and sockets are not copied
    return false;
  }
  if (::mkdir(to.c_str(), 0700) != 0) return false;
  std::vector<FindData> entries;
  if (!ListDirectory(from, entries)) return false;
  for (const auto& e : entries) {
    if (!CopyTree(from + "/" + e.name, to + "/" + e.name)) return false;
  }
  ::chmod(to.c_str(), st.st_mode & 07777);
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
  return true;
}

// The name under which /proc shows an open handle.
std::string ProcFdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

std::string RandomHex8() {
  static std::mt19937_64 rng = [] {
    std::random_device rd;
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::seed_seq seq{rd(), rd(), static_cast<unsigned>(ts.tv_nsec), static_cast<unsigned>(getpid())};
    return std::mt19937_64(seq);
  }();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(rng() & 0xFFFFFFFFu));
  return buf;
}

// The path itself when it exists, else its nearest existing parent.
std::string NearestExisting(const std::string& path) {
  std::string p = ExpandFileName(path.empty() ? "." : path);
  struct stat st;
  while (!p.empty() && lstat(p.c_str(), &st) != 0) {
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return "/";
    p = slash == 0 ? "/" : p.substr(0, slash);
    if (p == "/") break;
  }
  return p.empty() ? "/" : p;
}

bool StatVfs(const std::string& path, struct statvfs& vfs) {
  return statvfs(NearestExisting(path).c_str(), &vfs) == 0;
}

}  // namespace

bool DeleteFile(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  return ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool MoveFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  // The copy is made under a scratch name beside the target and renamed
  // over it at the end, so a failed copy leaves an existing target intact.
  size_t slash = to.rfind('/');
  std::string folder = slash == std::string::npos ? "" : to.substr(0, slash + 1);
  std::string scratch;
  struct stat st;
  do {
    scratch = folder + ".zid" + RandomHex8() + ".tmp";
  } while (lstat(scratch.c_str(), &st) == 0);
  if (!CopyTree(from, scratch) || ::rename(scratch.c_str(), to.c_str()) != 0) {
    ErrnoKeeper keep;
    RemoveTree(scratch);
    return false;
  }
  return RemoveTree(from);
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  Handle in = FileOpen(from, fmOpenRead);
  if (in < 0) return false;
  struct stat st;
  if (fstat(in, &st) != 0) {
    ErrnoKeeper keep;
    FileClose(in);
    return false;
  }
  Handle out = failIfExists ? FileCreateNew(to) : FileCreate(to);
  if (out < 0) {
    ErrnoKeeper keep;
    FileClose(in);
    return false;
  }
  bool ok = CopyData(in, out);
  if (ok) {
    fchmod(out, st.st_mode & 0777);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out, times);
  }
  ErrnoKeeper keep;
  FileClose(in);
  ok = FileClose(out) && ok;
  if (!ok) ::unlink(to.c_str());  // no half-copied file is left behind
  return ok;
}

bool CreateDir(const std::string& path) { return !path.empty() && ::mkdir(path.c_str(), 0777) == 0; }

bool ForceDirectories(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat st;
  if (stat(p.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  size_t slash = p.rfind('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(p.substr(0, slash))) return false;
  if (::mkdir(p.c_str(), 0777) == 0) return true;
  // Someone else may have made it in the meantime.
  return errno == EEXIST && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveDir(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

std::string GetCurrentDir() {
  std::vector<char> buf(512);
  for (;;) {
    if (getcwd(buf.data(), buf.size())) break;
    if (errno != ERANGE || buf.size() > (1u << 20)) return "/";
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool SetCurrentDir(const std::string& path) { return !path.empty() && ::chdir(path.c_str()) == 0; }

// Lexical only: links are not resolved, so "link/.." folds to the folder
// holding the link, as the user typed it.
std::string ExpandFileName(const std::string& path) {
  if (path.empty()) return "";
  std::string full = path[0] == '/' ? path : GetCurrentDir() + "/" + path;
  bool trailing = full.back() == '/';
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < full.size()) {
    size_t j = full.find('/', i);
    if (j == std::string::npos) j = full.size();
    std::string part = full.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& part : parts) out += "/" + part;
  if (out.empty()) return "/";
  if (trailing) out += "/";
  return out;
}

std::string TempFolder() {
  const char* env = getenv("TMPDIR");
  std::string dir = (env && *env == '/' && DirectoryExists(env)) ? env : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir == "/" ? dir : dir + "/";
}

std::string CreateTempFileName(const std::string& dir, const std::string& prefix) {
  if (prefix.find('/') != std::string::npos) {
    errno = EINVAL;
    return "";
  }
  std::string base = dir.empty() ? GetCurrentDir() : dir;
  if (base.back() != '/') base += '/';
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = base + prefix + RandomHex8() + ".tmp";
    Handle h = FileCreateNew(name);
    if (h >= 0) {
      FileClose(h);
      return name;
    }
    if (errno != EEXIST) return "";  // read-only media, no access, no folder
  }
  errno = EEXIST;
  return "";
}

Handle CreateUnnamedFile(const std::string& dir) {
#ifdef O_TMPFILE
  if (!g_unnamedFiles) {
    errno = EOPNOTSUPP;
    return kNoHandle;
  }
  const std::string folder = dir.empty() ? GetCurrentDir() : dir;
  int fd;
  do {
    fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kNoHandle;
  // Without /proc the file could be named only with a privilege the process
  // may lack: better a named file now than one that can never be published.
  struct stat st;
  if (::stat(ProcFdPath(fd).c_str(), &st) != 0) {
    ErrnoKeeper keep;
    ::close(fd);
    return kNoHandle;
  }
  return fd;
#else
  (void)dir;
  errno = EOPNOTSUPP;
  return kNoHandle;
#endif
}

Handle CreateScratchFile(const std::string& dir) {
  const std::string folder = dir.empty() ? TempFolder() : dir;
  const Handle h = CreateUnnamedFile(folder);
  if (h != kNoHandle) return h;
  std::string path = IncludeTrailingPathDelimiter(folder) + "zidXXXXXX";
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) return kNoHandle;
  ::unlink(path.c_str());
  return fd;
}

std::string NameUnnamedFile(Handle h, const std::string& dir, const std::string& prefix) {
  if (h < 0 || prefix.find('/') != std::string::npos) {
    errno = EINVAL;
    return "";
  }
  std::string base = dir.empty() ? GetCurrentDir() : dir;
  if (base.back() != '/') base += '/';
  const std::string procPath = ProcFdPath(h);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = base + prefix + RandomHex8() + ".tmp";
    int rc = ::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
    if (rc != 0 && errno == ENOENT) rc = ::linkat(h, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
    if (rc == 0) return name;
    if (errno != EEXIST) return "";  // another file system, read-only, full
  }
  errno = EEXIST;
  return "";
}

void SetUnnamedFilesEnabled(bool enabled) { g_unnamedFiles = enabled; }

int64_t DiskFree(const std::string& path) {
  struct statvfs vfs;
  if (!StatVfs(path, vfs)) return -1;
  return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

int64_t DiskTotal(const std::string& path) {
  struct statvfs vfs;
  if (!StatVfs(path, vfs)) return -1;
  return static_cast<int64_t>(vfs.f_blocks) * static_cast<int64_t>(vfs.f_frsize);
}

uint64_t FileSystemId(const std::string& path) {
  if (g_fsIdHook) return g_fsIdHook(path);
  std::string p = NearestExisting(path);
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_dev);
}

void SetFileSystemIdHook(FileSystemIdHook hook) { g_fsIdHook = hook; }

bool ResolveLink(const std::string& path, FindData& entry) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) return false;
  entry.isLink = false;
  entry.size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
  entry.mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
  entry.attr = AttrFromStat(st, entry.name);
  return true;
}

bool ListDirectory(const std::string& dir, std::vector<FindData>& out) {
  out.clear();
  int fd;
  do {
    fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  DIR* d = fdopendir(fd);
  if (!d) {
    ErrnoKeeper keep;
    ::close(fd);
    return false;
  }
  for (;;) {
    errno = 0;
    struct dirent* e = readdir(d);
    if (!e) break;
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // vanished meanwhile
    FindData fdata;
    fdata.isLink = S_ISLNK(st.st_mode);
    fdata.size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    fdata.mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
    fdata.attr = AttrFromStat(st, name);
    fdata.name = std::move(name);
    out.push_back(std::move(fdata));
  }
  int err = errno;
  closedir(d);
  std::sort(out.begin(), out.end(), [](const FindData& a, const FindData& b) { return a.name < b.name; });
  errno = err;
  return err == 0;
}

uint32_t UMask() {
  // Read once: setting it back and forth is not safe while other threads create files.
  static const uint32_t mask = [] {
    const mode_t m = ::umask(022);
    ::umask(m);
    return static_cast<uint32_t>(m);
  }();
  return mask;
}

uint32_t NewFileMode() {
  mode_t mask = ::umask(022);
  ::umask(mask);
  return 0666u & ~static_cast<uint32_t>(mask);
}

}  // namespace plat
