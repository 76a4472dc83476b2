#include "engine/zip/zidZipSpan.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidDiskManager.h"
#include "engine/zip/zidZip.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/paths.h"
#include "platform/shellops.h"

namespace zid {

namespace {
// A disk the user keeps refusing must not keep the loop going for ever.
constexpr int kMaxDiskRequests = 100;
constexpr int64_t kSpanChunk = 32768;
}  // namespace

bool TZipSpanWriter::RequestDisk(int64_t required) {
  const std::string& arc = z_.GetArchiveFile();
  TDiskManager dm;
  dm.SetOwner(&z_);
  dm.OnDiskInDrvErr = [this](bool& c) {
    if (z_.OnDiskInDrvErr) z_.OnDiskInDrvErr(&z_, c);
  };
  dm.OnDiskWriteProtectErr = [this](bool& c) {
    if (z_.OnDiskWriteProtectErr) z_.OnDiskWriteProtectErr(&z_, c);
  };
  for (int attempt = 0; attempt < kMaxDiskRequests; ++attempt) {
    const bool ready = dm.GetDriveInfo(arc);
    const bool newDisk = !haveSerial_ || dm.SerialNumber != lastSerial_;
    const bool quiet = attempt == 0 && ready && newDisk && !plat::FileExists(arc) && dm.FreeSpace >= required;
    if (!quiet) {
      if (!z_.OnInsertSpanDisk) {
        z_.ReportError(arc, "OnInsertDisk", z_.VolumeName, E_REQUIREDEVENT);
        return false;
      }
      bool cancel = true;
      z_.OnInsertSpanDisk(&z_, std::to_string(diskNo_ + 2), cancel);
      if (cancel) return false;
      if (!dm.GetDriveInfo(arc)) continue;
      if (haveSerial_ && dm.SerialNumber == lastSerial_) continue;  // the same disk again
      if (plat::FileExists(arc)) {
        if (!z_.OnDiskSpanFileExists) {
          z_.ReportError(arc, "OnFileExists", z_.VolumeName, E_REQUIREDEVENT);
          return false;
        }
        bool replace = false;
        z_.OnDiskSpanFileExists(&z_, arc, replace);
        if (!replace) continue;
        if (!(z_.DeleteOptions == doAllowUndo ? plat::DeleteToTrash(arc) : plat::DeleteFile(arc))) continue;
        dm.GetDriveInfo(arc);
      }
      if (dm.FreeSpace < dm.TotalSpace && dm.FreeSpace < required) {
        if (!z_.OnClearDisk) {
          z_.ReportError(arc, "OnClearDisk", z_.VolumeName, E_REQUIREDEVENT);
          continue;
        }
        bool cancel2 = false;
        while (dm.FreeSpace <= required && !cancel2) {
          cancel2 = true;
          z_.OnClearDisk(&z_, dm.Drive, required, dm.FreeSpace, dm.TotalSpace, cancel2);
          dm.GetDriveInfo(arc);
        }
      }
      if (dm.FreeSpace < required) continue;
    }
    ++diskNo_;
    lastSerial_ = dm.SerialNumber;
    haveSerial_ = true;
    disk_ = std::make_unique<TFileStream32>(arc, plat::fmCreate);
    if (!disk_->IsOpen()) {
      z_.ReportError(arc, "", z_.VolumeName, E_OPENERROR);
      return false;
    }
    char label[16];
    std::snprintf(label, sizeof label, "PKBACK# %.3d", (diskNo_ + 1) % 1000);
    if (!plat::SetVolumeLabel(dm.Drive, label)) z_.ReportError(arc, label, z_.VolumeName, E_SPANLABEL);
    room_ = dm.FreeSpace - (diskNo_ == 0 ? z_.LeaveSpaceOnFirstDisk : 0);
    return room_ > 0;
  }
  return false;
}

bool TZipSpanWriter::NextDisk() {
  disk_.reset();
  return RequestDisk(kSpanMinFree);
}

bool TZipSpanWriter::Put(const uint8_t* p, int64_t n) {
  while (n > 0) {
    if (room_ <= 0 && !NextDisk()) return false;
    const int64_t part = std::min(n, room_);
    if (disk_->Write(p, part) != part) {
      z_.ReportError(z_.GetArchiveFile(), "", z_.VolumeName, E_WRITEERROR);
      return false;
    }
    p += part;
    n -= part;
    room_ -= part;
  }
  return true;
}

bool TZipSpanWriter::CopyRange(TStream32& src, int64_t offset, int64_t count) {
  std::vector<uint8_t> buf(static_cast<size_t>(kSpanChunk));
  src.Seek(offset, plat::soFromBeginning);
  while (count > 0) {
    plat::ProcessMessages();
    if (z_.Cancelled()) return false;
    const int64_t n = std::min(count, kSpanChunk);
    if (src.Read(buf.data(), n) != n || !Put(buf.data(), n)) return false;
    count -= n;
  }
  return true;
}

bool TZipSpanWriter::Write(TStream32& src, TCompHeaderObj& list) {
  const int64_t total = src.Size();
  if (!RequestDisk(z_.LeaveSpaceOnFirstDisk + kSpanMinFree)) return false;
  if (total + kSpanMinFree > room_) {
    uint8_t marker[kSpanMarkerSize];
    WriteSpanMarker(marker);
    if (!Put(marker, kSpanMarkerSize)) return false;
  }
  int done = 0;
  for (auto& it : list.Items) {
    if (it.Action == caDrop) continue;
    int64_t nameLen = 0, bytes = 0;
    if (!z_.EntrySpan(src, it, nameLen, bytes)) return false;
    if (room_ <= 0 && !NextDisk()) return false;
    const int64_t from = it.Offset;
    it.Record<TZipEntryRecord>().Central.DiskNumberStart = static_cast<uint16_t>(diskNo_);
    it.Offset = disk_->Position();
    if (!CopyRange(src, from, bytes)) return false;
    z_.ReportProgress(list.Count(), ++done);
  }
  // The directory is built in memory and then split over the disks like the data.
  TMemoryStream32 dir;
  const std::string comment = list.ArchiveComment;
  list.ArchiveComment.clear();
  const bool built = z_.WriteDirectory(dir, list, false);
  list.ArchiveComment = comment;
  if (!built) return false;
  const int64_t dirBytes = dir.Size() - static_cast<int64_t>(kEndRecordSize);
  if (room_ <= 0 && !NextDisk()) return false;
  const int dirDisk = diskNo_;
  const int64_t dirOffset = disk_->Position();
  if (!Put(static_cast<const uint8_t*>(dir.Memory()), dirBytes)) return false;
  if (room_ < static_cast<int64_t>(kEndRecordSize) && !NextDisk()) return false;
  uint8_t end[kEndRecordSize];
  std::copy_n(static_cast<const uint8_t*>(dir.Memory()) + dirBytes, kEndRecordSize, end);
  TEndRecord er;
  er.Read(end);
  er.Signature = kEndSig;
  er.ThisDisk = static_cast<uint16_t>(diskNo_);
  er.DirectoryDisk = static_cast<uint16_t>(dirDisk);
  er.DirectoryOffset = static_cast<uint64_t>(dirOffset);
  er.CommentLength = 0;
  er.Write(end);
  if (!Put(end, kEndRecordSize)) return false;
  disk_.reset();
  return true;
}

}  // namespace zid
