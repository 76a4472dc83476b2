// Desktop actions: the freedesktop trash and xdg-open.
#include "platform/shellops.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"

namespace plat {

namespace {

std::string HomeDir() {
  const char* home = getenv("HOME");
  if (home && *home == '/') return home;
  struct passwd pw;
  struct passwd* res = nullptr;
  char buf[4096];
  if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &res) == 0 && res && res->pw_dir) return res->pw_dir;
  return "";
}

// $XDG_DATA_HOME/Trash; a relative XDG_DATA_HOME is ignored as the base
// freedesktop base-directory rules ask.
std::string TrashDir() {
  const char* data = getenv("XDG_DATA_HOME");
  if (data && *data == '/') return ExcludeTrailingPathDelimiter(data) + "/Trash";
  std::string home = HomeDir();
  return home.empty() ? "" : home + "/.local/share/Trash";
}

bool EnsurePrivateDir(const std::string& dir) {
  if (DirectoryExists(dir)) return true;
  if (!ForceDirectories(ExtractFileDir(dir))) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || (errno == EEXIST && DirectoryExists(dir));
}

std::string UrlEncodePath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : path) {
    auto c = static_cast<unsigned char>(ch);
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string LocalTimestamp() {
  time_t now = time(nullptr);
  struct tm t;
  localtime_r(&now, &t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

// Reserves a name in the trash by creating its .trashinfo exclusively, as
// the freedesktop trash rules require; returns the handle, the name in *name.
Handle ReserveTrashName(const std::string& trash, const std::string& base, std::string* name) {
  for (int n = 1; n < 10000; ++n) {
    std::string candidate = n == 1 ? base : base + "." + std::to_string(n);
    if (FileStat(trash + "/files/" + candidate).exists) continue;
    Handle h = FileCreateNew(trash + "/info/" + candidate + ".trashinfo");
    if (h >= 0) {
      *name = candidate;
      return h;
    }
    if (errno != EEXIST) return kNoHandle;
  }
  errno = EEXIST;
  return kNoHandle;
}

// PATH lookup done before forking, so the child only calls exec.
std::string FindProgram(const std::string& name) {
  const char* path = getenv("PATH");
  if (!path) return "";
  std::string list = path;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    if (!dir.empty()) {
      std::string full = dir + "/" + name;
      struct stat st;
      if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) return full;
    }
    start = end + 1;
  }
  return "";
}

}  // namespace

bool DeleteToTrash(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  std::string full = ExcludeTrailingPathDelimiter(ExpandFileName(path));
  if (full == "/" || !FileStat(full).exists) {
    if (full == "/") errno = EPERM;
    return false;
  }
  std::string trash = TrashDir();
  if (trash.empty()) {
    errno = ENOENT;
    return false;
  }
  if (trash == full || (trash.size() > full.size() && trash.compare(0, full.size() + 1, full + "/") == 0)) {
    errno = EINVAL;  // the trash itself, or a folder holding it
    return false;
  }
  if (!EnsurePrivateDir(trash) || !EnsurePrivateDir(trash + "/files") || !EnsurePrivateDir(trash + "/info")) {
    return false;
  }
  std::string name;
  Handle info = ReserveTrashName(trash, ExtractFileName(full), &name);
  if (info < 0) return false;
  std::string text = "[Trash Info]\nPath=" + UrlEncodePath(full) + "\nDeletionDate=" + LocalTimestamp() + "\n";
  bool ok = FileWrite(info, text.data(), static_cast<int64_t>(text.size())) == static_cast<int64_t>(text.size());
  ok = FileClose(info) && ok;
  // Rename within one file system, otherwise copy and delete.
  if (ok) ok = MoveFile(full, trash + "/files/" + name);
  if (!ok) {
    int err = errno;
    DeleteFile(trash + "/info/" + name + ".trashinfo");
    errno = err;
  }
  return ok;
}

bool OpenDocument(const std::string& pathOrUrl) {
  if (pathOrUrl.empty()) return false;
  std::string program = FindProgram("xdg-open");
  if (program.empty()) {
    errno = ENOENT;
    return false;
  }
  // A relative name starting with "-" would read as an option.
  bool isUrl = pathOrUrl.find("://") != std::string::npos || pathOrUrl.rfind("mailto:", 0) == 0;
  std::string target = isUrl ? pathOrUrl : ExpandFileName(pathOrUrl);
  std::vector<char*> argv = {program.data(), target.data(), nullptr};

  // The grandchild reports a failed exec through this pipe; a successful exec
  // closes it (close-on-exec) and the read below sees the end.
  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) {
    close(pipefd[0]);
    close(pipefd[1]);
    return false;
  }
  if (child == 0) {
    // Detach twice so the program is never our child and never a zombie.
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    close(pipefd[0]);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
    signal(SIGPIPE, SIG_DFL);
    execv(argv[0], argv.data());
    int err = errno;
    ssize_t w = write(pipefd[1], &err, sizeof err);
    (void)w;
    _exit(127);
  }
  close(pipefd[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  do {
    n = read(pipefd[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  close(pipefd[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  if (n == static_cast<ssize_t>(sizeof err)) {
    errno = err;
    return false;
  }
  return true;
}

}  // namespace plat
