// The drive query: readiness, write protection and volume information.
#include "engine/base/zidDiskManager.h"

#include <cstdio>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidBase.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/paths.h"

namespace zid {

namespace {

bool IsRemotePath(const std::string& path) {
  return path.size() >= 2 && plat::IsPathDelim(path[0]) && plat::IsPathDelim(path[1]);
}

// "//server/share/..." -> "//server/share/".
std::string RemoteRoot(const std::string& path) {
  size_t seps = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (plat::IsPathDelim(path[i]) && ++seps == 4) return plat::ToNative(path.substr(0, i + 1));
  }
  return plat::IncludeTrailingPathDelimiter(plat::ToNative(path));
}

}  // namespace

int DiskNumberFromLabel(const std::string& label) {
  static const std::string kPrefix = "PKBACK# ";
  if (label.size() <= kPrefix.size() || label.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
  int n = 0;
  for (size_t i = kPrefix.size(); i < label.size(); ++i) {
    const char c = label[i];
    if (c < '0' || c > '9') return 0;
    if (n > 99999999) return 0;  // no set has that many disks: not a span label
    n = n * 10 + (c - '0');
  }
  return n;
}

void TDiskCommon::SetOwner(TZipCommon* owner) {
  if (!owner) {
    ErrorRoutine = nullptr;
    return;
  }
  ErrorRoutine = [owner](const std::string& fileName, const std::string& extendedMsg, const std::string& volumeID,
                         int eCode) { owner->ReportError(fileName, extendedMsg, volumeID, eCode); };
}

void TDiskCommon::Report(const std::string& fileName, const std::string& extendedMsg, const std::string& volumeID,
                         int eCode) const {
  if (ErrorRoutine) ErrorRoutine(fileName, extendedMsg, volumeID, eCode);
}

bool TDiskManager::WaitReady(const std::string& path, const std::string& drive) {
  for (;;) {
    plat::DriveInfo info;
    plat::QueryDrive(path, info, false);
    if (info.ready && info.totalBytes >= 0) return true;
    if (!OnDiskInDrvErr) {
      Report(drive, std::string(), path, E_NOTACCESSIBLE);
      return false;
    }
    bool cancel = true;
    OnDiskInDrvErr(cancel);
    if (cancel) {
      Report(drive, std::string(), path, E_USERCANCELED);
      return false;
    }
  }
}

// The platform probes with a temporary file created and removed where the
// archive goes; one that cannot be removed counts as protected too.
bool TDiskManager::WaitWritable(const std::string& path, const std::string& drive) {
  for (;;) {
    plat::DriveInfo info;
    plat::QueryDrive(path, info, true);
    if (!info.writeProtected) return true;
    if (!OnDiskWriteProtectErr) {
      Report(drive, std::string(), path, E_WRITEPROTECTED);
      return false;
    }
    bool cancel = true;
    OnDiskWriteProtectErr(cancel);
    if (cancel) {
      Report(drive, std::string(), path, E_USERCANCELED);
      return false;
    }
  }
}

// Asks the person (retry/cancel) for as long as the volume cannot be read.
// Without a user interface the box answers Cancel, so this never loops alone.
bool TDiskManager::ReadVolume(const std::string& path, const std::string& drive, plat::DriveInfo& info) {
  for (;;) {
    info = plat::DriveInfo();
    if (plat::QueryDrive(path, info, false) && info.ready) return true;
    const int err = plat::LastError();
    const std::string text =
        plat::UpperCase(drive) + "\r\n\r\n" + LoadStr(E_NOTACCESSIBLE) + " " + plat::ErrorText(err);
    if (plat::MessageBox(plat::MsgKind::RetryCancel, plat::ApplicationTitle(), text) == plat::MsgResult::Retry)
      continue;
    Report(drive, std::string(), path, E_NOTACCESSIBLE);
    return false;
  }
}

bool TDiskManager::GetDriveInfo(const std::string& path) {
  const bool remote = IsRemotePath(path);
  // A relative name lies on the drive of the current folder.
  const std::string full = remote ? plat::ToNative(path) : plat::ExpandFileName(path.empty() ? "." : path);
  const std::string drive = remote ? RemoteRoot(path) : plat::DriveOfPath(full);
  Drive = drive;
  if (!remote) {
    if (!WaitReady(full, drive)) return false;
    if (!WaitWritable(full, drive)) return false;
  }
  plat::DriveInfo info;
  if (!ReadVolume(full, drive, info)) return false;

  if (!info.root.empty()) Drive = info.root;
  VolumeLabel = info.label;
  SerialNumber = info.serial;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(info.serial));
  SerialHex = hex;
  FileSystemName = info.fsName;
  MaxNameLength = info.maxNameLength;
  FileSystemFlags = 0;
  DiskNumber = DiskNumberFromLabel(info.label);
  DriveType = info.type;
  FreeSpace = info.freeBytes;
  TotalSpace = info.totalBytes;
  return true;
}

}  // namespace zid
