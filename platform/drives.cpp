// Drives are the mounts of /proc/self/mountinfo. Labels and serial numbers
// come from the udev links under /dev/disk, the removable flag from sysfs.
#include "platform/drives.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/files.h"

namespace plat {

namespace {

using MountEntry = MountPoint;

DriveQueryHook& QueryHook() {
  static DriveQueryHook hook;
  return hook;
}

// mountinfo writes blanks, tabs, newlines and backslashes as \ooo.
std::string UnescapeOctal(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && s.size() - i >= 4) {
      const char* p = s.c_str() + i + 1;
      if (p[0] >= '0' && p[0] <= '3' && p[1] >= '0' && p[1] <= '7' && p[2] >= '0' && p[2] <= '7') {
        out += static_cast<char>((p[0] - '0') * 64 + (p[1] - '0') * 8 + (p[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// udev writes unsafe bytes of labels as \xHH.
std::string UnescapeHex(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && s.size() - i >= 4 && s[i + 1] == 'x' && HexValue(s[i + 2]) >= 0 && HexValue(s[i + 3]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 2]) * 16 + HexValue(s[i + 3]));
      i += 3;
      continue;
    }
    out += s[i];
  }
  return out;
}

std::vector<MountEntry> ReadMounts() {
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  return ParseMountInfo(text.str());
}

bool UnderFolder(const std::string& path, const std::string& folder) {
  if (folder == "/") return !path.empty() && path[0] == '/';
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            path[folder.size()] == '/');
}

// The mount holding path: the last one listed wins among equal mount points
// because it is mounted over the earlier ones.
const MountEntry* MountOf(const std::vector<MountEntry>& mounts, const std::string& path) {
  const MountEntry* best = nullptr;
  for (const auto& m : mounts) {
    if (UnderFolder(path, m.mountPoint) && (!best || m.mountPoint.size() >= best->mountPoint.size())) best = &m;
  }
  return best;
}

std::string WithSlash(const std::string& dir) { return dir.empty() || dir.back() != '/' ? dir + "/" : dir; }

bool IsOneOf(const std::string& s, std::initializer_list<const char*> list) {
  for (const char* e : list) {
    if (s == e) return true;
  }
  return false;
}

bool IsRemoteFs(const std::string& fs) {
  return fs.rfind("nfs", 0) == 0 || IsOneOf(fs, {"cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "afs", "ceph"});
}

// File systems a user browses; kernel and container plumbing stays out.
bool IsUserMount(const MountEntry& m) {
  const std::string& mp = m.mountPoint;
  for (const char* sys : {"/proc", "/sys", "/dev", "/run", "/snap", "/var/lib/docker"}) {
    if (UnderFolder(mp, sys) && !UnderFolder(mp, "/run/media")) return false;
  }
  const std::string& fs = m.fsType;
  bool keep = IsOneOf(fs, {"ext2", "ext3", "ext4", "xfs", "btrfs", "vfat", "msdos", "exfat", "ntfs", "ntfs3",
                           "fuseblk", "iso9660", "udf", "f2fs", "jfs", "reiserfs", "zfs", "hfs", "hfsplus",
                           "virtiofs"}) ||
              IsRemoteFs(fs) ||
              (fs.rfind("fuse.", 0) == 0 && !IsOneOf(fs, {"fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs"}));
  if (fs == "overlay") keep = mp == "/";
  if (fs == "tmpfs" || fs == "ramfs") {
    keep = mp == "/" || mp == "/tmp" || UnderFolder(mp, "/media") || UnderFolder(mp, "/mnt") ||
           UnderFolder(mp, "/run/media");
  }
  if (!keep) return false;
  // Containers bind single files (resolv.conf, hosts) from real disks.
  struct stat st;
  return stat(mp.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path);
  std::string s;
  std::getline(in, s);
  return s;
}

bool IsRemovableDevice(const MountEntry& m) {
  if (m.major == 0) return false;  // no block device behind it
  char link[64];
  std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u", m.major, m.minor);
  char real[PATH_MAX];
  if (!realpath(link, real)) return false;
  std::string dir = real;
  // A partition's flag lives on its parent disk.
  if (access((dir + "/partition").c_str(), F_OK) == 0) dir = dir.substr(0, dir.rfind('/'));
  return ReadSmallFile(dir + "/removable") == "1";
}

// The name of the udev link in folder that points at the mount's device.
std::string DiskLinkName(const std::string& folder, const MountEntry& m) {
  if (m.major == 0) return "";
  std::vector<FindData> links;
  if (!ListDirectory(folder, links)) return "";
  for (const auto& l : links) {
    struct stat st;
    if (stat((folder + "/" + l.name).c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
        major(st.st_rdev) == m.major && minor(st.st_rdev) == m.minor) {
      return l.name;
    }
  }
  return "";
}

// The first eight hex digits of the UUID: for FAT volumes that is the very
// serial number DOS shows ("1234-ABCD").
uint32_t SerialFromUuid(const std::string& uuid) {
  uint32_t serial = 0;
  int digits = 0;
  for (char c : uuid) {
    if (digits == 8) break;
    if (c == '-') continue;
    if (HexValue(c) < 0) return 0;
    serial = serial * 16 + static_cast<uint32_t>(HexValue(c));
    ++digits;
  }
  return serial;
}

DriveType TypeOf(const MountEntry& m) {
  if (IsOneOf(m.fsType, {"iso9660", "udf"})) return DriveType::CdRom;
  if (IsRemoteFs(m.fsType)) return DriveType::Remote;
  if (IsOneOf(m.fsType, {"tmpfs", "ramfs"})) return DriveType::RamDisk;
  if (IsRemovableDevice(m) || UnderFolder(m.mountPoint, "/media") || UnderFolder(m.mountPoint, "/run/media")) {
    return DriveType::Removable;
  }
  return DriveType::Fixed;
}

// Write protection is probed where the archive goes (the folder of path)
// and in the mount root; a user may not write to the root of "/" while
// the disk itself is anything but protected.
bool ProbeWriteProtected(const std::string& path, const std::string& root) {
  std::vector<std::string> dirs;
  std::string dir = path;  // absolute: it went through ExpandFileName
  while (dir.size() > 1 && !DirectoryExists(dir)) {
    size_t slash = dir.rfind('/');
    dir = slash == 0 ? "/" : dir.substr(0, slash);
  }
  std::string rootDir = root.size() > 1 ? root.substr(0, root.size() - 1) : root;
  if (UnderFolder(dir, rootDir) && dir != rootDir) dirs.push_back(dir);
  dirs.push_back(rootDir);
  bool denied = false;
  for (const auto& d : dirs) {
    std::string probe = CreateTempFileName(d, "zid");
    if (!probe.empty()) return !DeleteFile(probe);  // a file that cannot be removed counts as protected
    int err = errno;
    if (err == EROFS) return true;
    if (err == EACCES || err == EPERM) denied = true;
  }
  return denied;
}

void Describe(const MountEntry& m, DriveInfo& info) {
  info.root = WithSlash(m.mountPoint);
  info.device = m.source;
  info.fsName = m.fsType;
  info.label = UnescapeHex(DiskLinkName("/dev/disk/by-label", m));
  info.serial = SerialFromUuid(DiskLinkName("/dev/disk/by-uuid", m));
  info.type = TypeOf(m);
  struct statvfs vfs;
  info.ready = statvfs(m.mountPoint.c_str(), &vfs) == 0;
  if (info.ready) {
    info.freeBytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
    info.totalBytes = static_cast<int64_t>(vfs.f_blocks) * static_cast<int64_t>(vfs.f_frsize);
    info.maxNameLength = static_cast<uint32_t>(vfs.f_namemax);
    info.writeProtected = (vfs.f_flag & ST_RDONLY) != 0;
  }
}

}  // namespace

// Fields: id, parent, major:minor, root, mount point, options, optional
// tags, "-", file system type, source, super options.
std::vector<MountPoint> ParseMountInfo(const std::string& text) {
  std::vector<MountPoint> mounts;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> tok;
    std::string t;
    while (fields >> t) tok.push_back(t);
    if (tok.size() < 9) continue;
    auto sep = std::find(tok.begin() + 6, tok.end(), "-");
    if (sep == tok.end() || tok.end() - sep < 3) continue;
    MountPoint m;
    if (std::sscanf(tok[2].c_str(), "%u:%u", &m.major, &m.minor) != 2) continue;
    m.mountPoint = UnescapeOctal(tok[4]);
    if (m.mountPoint.empty() || m.mountPoint[0] != '/') continue;
    m.fsType = sep[1];
    m.source = UnescapeOctal(sep[2]);
    mounts.push_back(std::move(m));
  }
  return mounts;
}

std::string DriveOfPath(const std::string& path) {
  std::string full = ExpandFileName(path.empty() ? "." : path);
  auto mounts = ReadMounts();
  const MountEntry* m = MountOf(mounts, full);
  return m ? WithSlash(m->mountPoint) : "/";
}

std::vector<DriveInfo> ListDrives() {
  auto mounts = ReadMounts();
  std::vector<DriveInfo> drives;
  for (size_t i = 0; i < mounts.size(); ++i) {
    const MountEntry& m = mounts[i];
    if (!IsUserMount(m)) continue;
    // A later mount on the same point hides this one.
    bool hidden = std::any_of(mounts.begin() + static_cast<std::ptrdiff_t>(i) + 1, mounts.end(),
                              [&](const MountEntry& o) { return o.mountPoint == m.mountPoint; });
    if (hidden) continue;
    DriveInfo info;
    Describe(m, info);
    drives.push_back(std::move(info));
  }
  std::sort(drives.begin(), drives.end(), [](const DriveInfo& a, const DriveInfo& b) { return a.root < b.root; });
  return drives;
}

bool QueryDrive(const std::string& path, DriveInfo& out, bool checkWrite) {
  if (QueryHook()) return QueryHook()(path, out, checkWrite);
  std::string full = ExpandFileName(path.empty() ? "." : path);
  auto mounts = ReadMounts();
  MountEntry fallback;
  fallback.mountPoint = "/";
  const MountEntry* m = MountOf(mounts, full);
  DriveInfo info;
  Describe(m ? *m : fallback, info);
  if (!info.ready) {
    out = info;
    return false;
  }
  if (checkWrite && !info.writeProtected) info.writeProtected = ProbeWriteProtected(full, info.root);
  out = info;
  return true;
}

void SetDriveQueryHook(DriveQueryHook hook) { QueryHook() = std::move(hook); }

bool SetVolumeLabel(const std::string& root, const std::string& label) {
  (void)root;
  (void)label;
  // Relabelling needs the file system's own tool and usually root rights.
  errno = ENOTSUP;
  return false;
}

}  // namespace plat
