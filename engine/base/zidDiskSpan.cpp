#include "engine/base/zidDiskSpan.h"

#include "engine/base/zidBase.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidDiskManager.h"
#include "engine/base/zidStreams.h"
#include "engine/base/zidZipSigs.h"
#include "platform/files.h"

namespace zid {

bool TDiskSpannObj::HasEndRecord() {
  TFileStream32 s(owner_.GetArchiveFile(), plat::fmOpenRead | plat::fmShareDenyWrite);
  if (s.Handle() < 0) return false;
  TArchiveDetection d = owner_.Detection();
  TFileStream32* sp = &s;
  DetectArcType(*sp, d);
  return (d.ZipStructureFlags & 4) != 0;
}

bool TDiskSpannObj::IsRightDisk(int64_t wantedOffset, int wantedDisk) {
  TDiskManager dm;
  dm.OnDiskInDrvErr = [this](bool& cancel) {
    if (owner_.OnDiskInDrvErr) owner_.OnDiskInDrvErr(&owner_, cancel);
  };
  if (!dm.GetDriveInfo(owner_.GetArchiveFile())) return false;
  TFileStream32 s(owner_.GetArchiveFile(), plat::fmOpenRead | plat::fmShareDenyWrite);
  if (s.Handle() < 0) {
    owner_.ReportError(owner_.FileName, std::string(), owner_.GetArchiveFile(), E_OPENERROR);
    return false;
  }
  int64_t size = s.Size();
  if (wantedOffset >= 0 && size >= 30 && wantedOffset <= size - 30) {
    uint8_t sig[4];
    s.Seek(wantedOffset, plat::soFromBeginning);
    if (s.Read(sig, 4) != 4) return false;
    uint32_t v = Get32(sig);
    return v == kLocalSig || v == kLocalSigEnc || v == kCentralSig || v == kCentralSigEnc || v == kSpanMarkerSig;
  }
  TArcType t = owner_.GetArcType();
  if (t == atZipMV) return true;
  return t == atZipDS && dm.DiskNumber == wantedDisk;
}

bool TDiskSpannObj::SwitchDisk(int64_t wantedOffset, int wantedDisk) {
  owner_.CloseArchiveStream();
  auto fail = [this] {
    *owner_.CancelFlag() = true;
    return false;
  };
  if (DiskCounter == 0) {
    if (!owner_.OnGetZipLastDisk) {
      owner_.ReportError(owner_.FileName, "OnGetZipLastDisk", owner_.VolumeName, E_REQUIREDEVENT);
      return fail();
    }
    while (!HasEndRecord()) {
      bool cancel = true;
      owner_.OnGetZipLastDisk(&owner_, cancel);
      if (cancel) return fail();
    }
    DiskCounter = 1;
  } else if (DiskCounter == 1) {
    if (!owner_.OnGetZipFirstDisk) {
      owner_.ReportError(owner_.FileName, "OnGetZipFirstDisk", owner_.VolumeName, E_REQUIREDEVENT);
      return fail();
    }
    while (!IsRightDisk(wantedOffset, wantedDisk)) {
      bool cancel = true;
      owner_.OnGetZipFirstDisk(&owner_, cancel);
      if (cancel) return fail();
    }
    ++DiskCounter;
  } else {
    if (!owner_.OnGetZipNextDisk) {
      owner_.ReportError(owner_.FileName, "OnGetZipNextDisk", owner_.VolumeName, E_REQUIREDEVENT);
      return fail();
    }
    while (!IsRightDisk(wantedOffset, wantedDisk)) {
      bool cancel = true;
      owner_.OnGetZipNextDisk(&owner_, std::to_string(DiskCounter), cancel);
      if (cancel) return fail();
    }
    ++DiskCounter;
  }
  if (!owner_.ReopenArchive()) return fail();
  return true;
}

}  // namespace zid
