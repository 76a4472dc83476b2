#include "engine/cab/zidUnCab.h"

#include <algorithm>
#include <cstdlib>

#include "engine/base/zidDecoder.h"
#include "engine/base/zidVolumeSet.h"
#include "platform/cabinet/cabformat.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace cab = plat::cab;

namespace {

// The handle the decoded bytes are written to: the extract loop's output.
constexpr cab::FileHandle kOutputHandle = 1;
// Cabinets one extraction follows at most.
constexpr int kMaxCabinets = 1000;

int CpuTypeValue(TCpuType t) { return t == cptAuto ? cab::cpuUNKNOWN : static_cast<int>(t) - 1; }

}  // namespace

TUnCab::TUnCab() = default;

TUnCab::~TUnCab() {
  if (fdi_ != nullptr) cab::FDIDestroy(fdi_);
}

bool TUnCab::EnsureContext() {
  if (fdi_ != nullptr) return true;
  fdi_ = cab::FDICreate(
      [](size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); },
      [this](const std::string& name, int oflag, int pmode) {
        int err = 0;
        return files_.Open(name, oflag, pmode, err);
      },
      [this](cab::FileHandle hf, void* buf, int64_t n) -> int64_t {
        int err = 0;
        const int64_t got = files_.Read(hf, buf, n, err);
        return got == 0 && err == -1 ? -1 : got;
      },
      [this](cab::FileHandle, const void* buf, int64_t n) -> int64_t {
        if (Cancelled() || !WriteOutput(static_cast<const uint8_t*>(buf), n)) return -1;
        BytesRemaining = std::max<int64_t>(0, BytesRemaining - n);
        ReportProgress(entryTotal_, entryDone_);
        return Cancelled() ? -1 : n;
      },
      [this](cab::FileHandle hf) {
        int err = 0;
        return files_.Close(hf, err);
      },
      [this](cab::FileHandle hf, int64_t distance, int origin) {
        int err = 0;
        return files_.Seek(hf, distance, origin, err);
      },
      CpuTypeValue(CpuType), &erf_);
  return fdi_ != nullptr;
}

void TUnCab::ProcessArchive() {
  const std::string archive = GetArchiveFile();
  if (!CabinetLibraryPresent() || !EnsureContext()) {
    MarkArchiveFailed();
    RaiseError(archive, std::string(), VolumeName, E_CABDLL);
  }
  // Every extraction reads the cabinets afresh (they may have changed since the last one).
  struct TRelease {
    TUnCab& u;
    ~TRelease() {
      if (u.fdi_ != nullptr) cab::FDIDestroy(u.fdi_);
      u.fdi_ = nullptr;
      u.files_.CloseAll();
      u.files_.ClearMaps();
    }
  } release{*this};

  currentCabinet_ = archive;
  granted_.clear();
  firstCabinet_ = true;
  stop_ = fatal_ = false;
  files_.ClearMaps();
  if (ArcStartOffset() > 0) files_.MapOffset(archive, ArcStartOffset());

  int err = 0;
  const cab::FileHandle hf = files_.Open(archive, cab::kOpenReadOnly | cab::kOpenBinary, 0, err);
  if (hf == cab::kNoFile) {
    MarkArchiveFailed();
    RaiseError(archive, std::string(), VolumeName, E_OPENERROR);
  }
  cab::FDICABINETINFO info;
  const bool isCabinet = cab::FDIIsCabinet(fdi_, hf, &info);
  if (files_.Close(hf, err) != 0) RaiseError(archive, std::string(), VolumeName, E_CLOSEERROR);
  if (!isCabinet) return ArchiveFailed(E_BADFILEHEADER);

  BytesTotal = BytesRemaining = 0;
  CountPass(currentCabinet_);
  std::set<std::string> visited{currentCabinet_};
  resumeAt_.clear();
  for (int n = 0; n < kMaxCabinets; ++n) {
    const bool copied = CopyPass(currentCabinet_);
    if (Cancelled()) break;
    std::string next;
    if (!resumeAt_.empty()) {
      // A file ran into a missing cabinet: the walk goes on past it.
      next.swap(resumeAt_);
      stop_ = false;
    } else {
      if (!copied || stop_ || nextName_.empty()) break;
      next = NextCabinetPath(currentCabinet_, nextName_);
      if (!next.empty() && !plat::FileExists(next)) next = PastMissing(next);
    }
    if (next.empty() || visited.count(next) != 0) break;
    // A cabinet the library asked for already is not asked for again.
    if (granted_.count(next) != 0) {
      currentCabinet_ = next;
    } else {
      if (!RequestVolume(next, cabIndex_ + 2)) break;
      currentCabinet_ = VolumeName;
      CloseArchive();
    }
    if (!visited.insert(currentCabinet_).second) break;
    firstCabinet_ = false;
    BytesTotal = BytesRemaining = 0;
    CountPass(currentCabinet_);
  }
  if (fatal_) throw ECabinetError(erf_.erfOper, erf_.erfType);
}

void TUnCab::CountPass(const std::string& cabinet) {
  const bool ok = cab::FDICopy(fdi_, plat::ExtractFileName(cabinet), plat::ExtractFilePath(cabinet), 0,
                               [this](cab::FDINOTIFICATIONTYPE type, cab::FDINOTIFICATION& n) -> cab::FileHandle {
                                 if (type != cab::fdintCOPY_FILE) return 0;
                                 if (Cancelled()) return -1;
                                 if (MatchesSpec(CabEntryName(n.psz1, n.attribs, TranslateOemChar), RecurseDirs)) {
                                   BytesTotal += n.cb;
                                   BytesRemaining += n.cb;
                                   MaxFileDate = std::max(MaxFileDate, (uint32_t{n.date} << 16) | n.time);
                                 }
                                 return 0;
                               });
  // A cabinet that cannot be read shows in the copy pass that follows.
  (void)ok;
}

bool TUnCab::CopyPass(const std::string& cabinet) {
  capture_ = true;
  nextName_.clear();
  nextDisk_.clear();
  const bool ok = cab::FDICopy(fdi_, plat::ExtractFileName(cabinet), plat::ExtractFilePath(cabinet), 0,
                               [this](cab::FDINOTIFICATIONTYPE type, cab::FDINOTIFICATION& n) {
                                 return Notify(type, n);
                               });
  if (ok) return true;
  if (stop_ || fatal_ || Cancelled()) return false;
  return CheckErrorRecord(cabinet);
}

bool TUnCab::CheckErrorRecord(const std::string& cabinet) {
  if (!erf_.fError) return true;
  auto failed = [&](int code) {
    if (firstCabinet_) MarkArchiveFailed();
    ReportError(cabinet, FileName, VolumeName, code);
    return false;
  };
  switch (erf_.erfOper) {
    case cab::FDIERROR_USER_ABORT: return false;
    case cab::FDIERROR_CORRUPT_CABINET:
      return failed(erf_.erfType == cab::erfDetailTruncated ? E_READERROR : E_CORRUPTINPUT);
    case cab::FDIERROR_NOT_A_CABINET: return failed(E_BADFILEHEADER);
    case cab::FDIERROR_CABINET_NOT_FOUND: return failed(E_OPENERROR);
    case cab::FDIERROR_ALLOC_FAIL: return failed(E_OUTOFMEMORY);
    case cab::FDIERROR_WRONG_CABINET: return failed(kErrNotInSet);
    default:
      if (firstCabinet_) MarkArchiveFailed();
      throw ECabinetError(erf_.erfOper, erf_.erfType);
  }
}

cab::FileHandle TUnCab::Notify(cab::FDINOTIFICATIONTYPE type, cab::FDINOTIFICATION& n) {
  switch (type) {
    case cab::fdintCABINET_INFO:
      if (capture_) {
        nextName_ = n.psz1;
        nextDisk_ = n.psz2;
        cabPath_ = n.psz3;
        setId_ = n.setID;
        cabIndex_ = n.iCabinet;
        capture_ = false;
      }
      return 0;
    case cab::fdintPARTIAL_FILE: {
      if (Cancelled()) return -1;
      // A set read from the middle: what began in an earlier cabinet cannot be had from this one.
      TEntry e;
      e.storedName = CabEntryName(n.psz1, n.attribs, TranslateOemChar);
      if (firstCabinet_) RejectEntry(e, kErrFirstDiskOfSet, n.psz2);
      return 0;
    }
    case cab::fdintCOPY_FILE: return CopyFile(n);
    case cab::fdintNEXT_CABINET: return NextCabinet(n);
    case cab::fdintCLOSE_FILE_INFO: return Cancelled() ? -1 : 1;
    default: return 0;
  }
}

cab::FileHandle TUnCab::CopyFile(cab::FDINOTIFICATION& n) {
  if (Cancelled()) return 0;
  TEntry e;
  e.storedName = CabEntryName(n.psz1, n.attribs, TranslateOemChar);
  e.packedSize = n.cb;
  e.unpackedSize = n.cb;
  e.crcKind = 0;  // the data blocks carry the checksums
  e.dosDate = (uint32_t{n.date} << 16) | n.time;
  e.attr = n.attribs & 0x3F;
  e.isDir = (n.attribs & 0x10) != 0;
  // A failed entry costs that entry only: the library passes over the data
  // of a file it is not given an output for.
  ExtractEntry(e, [&] {
    if (!n.copy(kOutputHandle)) return CopyFailed();
    return DecodeResultOk(drOk, entryDone_, e.unpackedSize);
  });
  return stop_ || fatal_ ? -1 : 0;
}

bool TUnCab::CopyFailed() {
  if (Cancelled()) return false;
  switch (erf_.erfOper) {
    case cab::FDIERROR_CORRUPT_CABINET:
      if (erf_.erfType == cab::erfDetailTruncated) return DecodeResultOk(drInputExhausted, entryDone_, entryTotal_);
      if (erf_.erfType != cab::erfDetailBadHeader) return DecodeResultOk(drInvalidData, entryDone_, entryTotal_);
      ReportError(FileName, std::string(), VolumeName, E_CORRUPTINPUT);
      return false;
    case cab::FDIERROR_TARGET_FILE:  // the output reported why
      return false;
    case cab::FDIERROR_USER_ABORT:
      stop_ = true;
      return false;
    case cab::FDIERROR_ALLOC_FAIL:
      ReportError(FileName, std::string(), VolumeName, E_OUTOFMEMORY);
      break;
    case cab::FDIERROR_CABINET_NOT_FOUND:
      ReportError(FileName, nextName_, VolumeName, E_OPENERROR);
      break;
    case cab::FDIERROR_NOT_A_CABINET:
      ReportError(FileName, nextName_, VolumeName, E_BADFILEHEADER);
      break;
    case cab::FDIERROR_WRONG_CABINET:
      ReportError(FileName, nextName_, VolumeName, kErrNotInSet);
      break;
    default:
      fatal_ = true;
      break;
  }
  stop_ = true;
  return false;
}

cab::FileHandle TUnCab::NextCabinet(cab::FDINOTIFICATION& n) {
  if (Cancelled()) return -1;
  if (n.fdie != cab::FDIERROR_NONE) {
    // The cabinet given last time did not continue the set.
    ReportError(FileName, n.psz1, VolumeName, n.fdie == cab::FDIERROR_CABINET_NOT_FOUND ? E_OPENERROR : kErrNotInSet);
    stop_ = true;
    return -1;
  }
  const std::string name = cab::CabinetFileName(n.psz1);
  const std::string proposed = name.empty() || name == "." || name == ".." ? std::string()
                                                                            : ResolveCabinetName(n.psz3, name);
  if (proposed.empty() || plat::SameText(proposed, currentCabinet_)) {
    ReportError(FileName, n.psz1, VolumeName, E_BADFILENAME);
    stop_ = true;
    return -1;
  }
  if (!plat::FileExists(proposed)) {
    resumeAt_ = PastMissing(proposed);
    stop_ = true;
    return -1;
  }
  if (!RequestVolume(proposed, n.iCabinet + 1)) {
    stop_ = true;
    return -1;
  }
  const std::string chosen = VolumeName;
  CloseArchive();
  granted_.insert(chosen);
  n.psz3 = plat::ExtractFilePath(chosen);
  n.psz1 = plat::ExtractFileName(chosen);
  return 0;
}

std::string TUnCab::PastMissing(const std::string& missing) {
  // Said once; the set goes on at the cabinet whose "previous cabinet" it is.
  ReportError(FileName, "the cabinet " + plat::ExtractFileName(missing) + " of the set is missing", missing,
              E_FILENOTFOUND);
  return CabinetAfter(missing);
}

}  // namespace zid
