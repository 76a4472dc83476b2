// The drive query: is the drive holding a path ready, writable and readable,
// and what is on it (label, serial, space, the disk number of a spanned set).
//
// Drives are mount points here (plat::DriveOfPath). All questions go through
// plat::QueryDrive, so tests fake a removable, not-ready or write-protected
// drive with plat::SetDriveQueryHook. Paths starting with "//" stand for
// remote mounts: they skip the readiness and write checks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/drives.h"

namespace zid {

class TZipCommon;

// Error routine of an owner: (fileName, extendedMsg, volumeID, eCode).
using TDiskErrorRoutine = std::function<void(const std::string& fileName, const std::string& extendedMsg,
                                             const std::string& volumeID, int eCode)>;
// Drive handlers: called with cancel preset to true; clearing it retries.
using TDiskHandler = std::function<void(bool& cancel)>;

// Error reporting shared by the disk helpers.
class TDiskCommon {
 public:
  virtual ~TDiskCommon() = default;
  // Errors are reported only when a routine is installed (detection installs none).
  TDiskErrorRoutine ErrorRoutine;
  // Routes errors to owner->ReportError (nullptr: no routine).
  void SetOwner(TZipCommon* owner);

 protected:
  void Report(const std::string& fileName, const std::string& extendedMsg, const std::string& volumeID,
              int eCode) const;
};

class TDiskManager : public TDiskCommon {
 public:
  TDiskHandler OnDiskInDrvErr;         // drive not ready
  TDiskHandler OnDiskWriteProtectErr;  // drive write-protected

  // Queries the drive holding path; false when it is not ready, protected or
  // unreadable (and the handlers or the retry box did not resolve it).
  bool GetDriveInfo(const std::string& path);

  // Results of the last successful query.
  std::string Drive;            // the mount point, trailing "/"
  std::string VolumeLabel;
  uint32_t SerialNumber = 0;
  std::string SerialHex;        // eight upper-case hexadecimal digits
  std::string FileSystemName;
  uint32_t MaxNameLength = 0;
  uint32_t FileSystemFlags = 0;  // none are known here: always 0
  int DiskNumber = 0;            // from a "PKBACK# nnn" label, else 0
  plat::DriveType DriveType = plat::DriveType::Unknown;
  int64_t FreeSpace = -1;
  int64_t TotalSpace = -1;

 private:
  bool WaitReady(const std::string& path, const std::string& drive);
  bool WaitWritable(const std::string& path, const std::string& drive);
  bool ReadVolume(const std::string& path, const std::string& drive, plat::DriveInfo& info);
};

// The disk number of a spanned-set label: "PKBACK# " followed only by digits
// gives their value; any other label gives 0.
int DiskNumberFromLabel(const std::string& label);

}  // namespace zid
