// Drives are mount points here. The engine's removable-disk checks ask
// QueryDrive; tests install a hook to fake a removable disk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plat {

enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CdRom, RamDisk };

struct DriveInfo {
  std::string root;       // the mount point, with a trailing "/"
  std::string device;     // what is mounted there
  std::string fsName;     // file system type ("ext4", "vfat" ...)
  std::string label;      // volume label, "" when unknown
  uint32_t serial = 0;    // volume serial, 0 when unknown
  DriveType type = DriveType::Unknown;
  bool ready = false;     // the mount answers statvfs
  bool writeProtected = false;
  int64_t freeBytes = -1;
  int64_t totalBytes = -1;
  uint32_t maxNameLength = 255;
};

// The mount point holding path (longest matching mount), with trailing "/".
std::string DriveOfPath(const std::string& path);
// Mounted file systems a user would browse (pseudo file systems left out).
std::vector<DriveInfo> ListDrives();
// Describes the drive of path; false when it cannot be read.
// checkWrite: also find out write protection (a temp file created and removed).
bool QueryDrive(const std::string& path, DriveInfo& out, bool checkWrite);
using DriveQueryHook = std::function<bool(const std::string& path, DriveInfo& out, bool checkWrite)>;
void SetDriveQueryHook(DriveQueryHook hook);  // empty restores the real query
// One mount of /proc/self/mountinfo, its octal escapes (\040 ...) decoded.
struct MountPoint {
  std::string mountPoint;  // as listed, without a trailing "/" (except the root)
  std::string source;
  std::string fsType;
  unsigned major = 0;  // the device behind it (0 for none)
  unsigned minor = 0;
};
// Parses the text of a mountinfo file; malformed lines are skipped.
std::vector<MountPoint> ParseMountInfo(const std::string& text);

// Sets a volume label where the system allows it (false here for most file systems).
bool SetVolumeLabel(const std::string& root, const std::string& label);

}  // namespace plat
