#include "engine/cab/zidMakeCab.h"

#include <algorithm>
#include <cstdlib>

#include "engine/base/zidMethods.h"
#include "engine/base/zidStreams.h"
#include "engine/cab/zidCabMethods.h"
#include "platform/cabinet/cabformat.h"
#include "platform/codepage.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace cab = plat::cab;

namespace {

constexpr uint32_t kNoLimit = 0x7FFFFFFF;
// The DOS attributes a cabinet keeps.
constexpr uint16_t kKeptAttributes = cab::kAttrReadOnly | cab::kAttrHidden | cab::kAttrSystem | cab::kAttrArchive;

}  // namespace

TMakeCab::TMakeCab() {
  det_.ArcType = atCab;
  supported_ = TCompressMethods(CabMethods().WriterMethods());
  compressMethod_ = cmMsZip;
  DefaultExt = ".CAB";
  StoreEmptySubDirs = false;
}

TMakeCab::~TMakeCab() { DestroyContext(); }

void TMakeCab::SetArcType(TArcType value) { det_.ArcType = value; }

void TMakeCab::SetLzxLevel(int v) { lzxLevel_ = std::clamp(v, 15, 21); }
void TMakeCab::SetQuantumLevel(int v) { quantumLevel_ = std::clamp(v, 1, 7); }
void TMakeCab::SetQuantumMemory(int v) { quantumMemory_ = std::clamp(v, 10, 21); }

cab::TCOMP TMakeCab::CompressionValue() const {
  switch (compressMethod_) {
    case cmStore: return cab::tcompTYPE_NONE;
    case cmMsZip: return cab::tcompTYPE_MSZIP;
    case cmLzx: return static_cast<cab::TCOMP>(lzxLevel_ * 256 + 3);
    case cmQuantum: {
      const int t = quantumType_ == ctLzx ? 3 : static_cast<int>(quantumType_);
      return static_cast<cab::TCOMP>(t + quantumLevel_ * 16 + quantumMemory_ * 256);
    }
    default: return cab::tcompTYPE_NONE;
  }
}

void TMakeCab::ReportError(const std::string& fileName, const std::string& extendedMsg, const std::string& volumeID,
                           int eCode) {
  if (eCode == E_REQUIREDEVENT && extendedMsg == "OnNonWriteableArchive")
    return TCompBase::ReportError(GetArchiveFile(), std::string(), volumeID, E_WRITEERROR);
  TCompBase::ReportError(fileName, extendedMsg, volumeID, eCode);
}

// ---- the old cabinet ----------------------------------------------------------------------

bool TMakeCab::ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) {
  if (Switch == swDelete) RaiseError(GetArchiveFile(), std::string(), VolumeName, E_BADARCTYPE);
  if (oldDet_.ArcType != atCab && oldDet_.ArcType != atCabExe) {
    // Not a cabinet: it is not replaced by one.
    ReportError(GetArchiveFile(), ArcTypeEnumName(oldDet_.ArcType), VolumeName, E_BADARCTYPE);
    return false;
  }
  cab::CabHeader h;
  std::vector<cab::CabFolder> folders;
  oldBase_ = std::max<int64_t>(0, oldDet_.ArcStartOffset);
  auto read = [&in](int64_t pos, void* buf, int64_t n) -> int64_t {
    return in.Seek(pos, plat::soFromBeginning) == pos ? in.Read(buf, n) : 0;
  };
  if (cab::ReadDirectory(read, oldBase_, h, folders, oldRecords_) != cab::ParseResult::Ok) {
    ReportError(GetArchiveFile(), std::string(), VolumeName, E_BADFILEHEADER);
    return false;
  }
  if (Switch == swRead) {
    ListExisting(h, folders);
    return true;
  }
  if (h.HasPrev() || h.HasNext()) {
    ReportError(GetArchiveFile(), "a cabinet set", VolumeName, E_BADARCTYPE);
    return false;
  }
  // A self-extractor keeps its stub; the new cabinet follows it.
  stubLength_ = oldBase_;
  oldCopied_ = false;
  oldAdded_.assign(oldRecords_.size(), false);
  for (size_t i = 0; i < oldRecords_.size(); ++i) {
    const cab::CabFile& f = oldRecords_[i];
    TCompHeaderItem it;
    it.Name = CabEntryName(f.name, f.attribs, TranslateOemChar);
    std::replace(it.Name.begin(), it.Name.end(), '\\', '/');
    it.Action = caCopy;
    it.UnpackedSize = it.PackedSize = f.cbFile;
    it.StoredDate = (uint32_t{f.date} << 16) | f.time;
    it.StoredAttr = f.attribs & kKeptAttributes;
    it.Record<size_t>() = i;  // the old record's index
    list.Items.push_back(std::move(it));
  }
  return true;
}

void TMakeCab::ListExisting(const cab::CabHeader& h, const std::vector<cab::CabFolder>& folders) {
  for (size_t i = 0; i < oldRecords_.size() && OnRead && !cancel_; ++i) {
    const cab::CabFile& f = oldRecords_[i];
    const uint16_t type = folders[static_cast<size_t>(f.FolderIndex(h.cFolders))].typeCompress;
    FileName = CabEntryName(f.name, f.attribs, TranslateOemChar);
    plat::DosDateTimeToDateTime((uint32_t{f.date} << 16) | f.time, FileDate);
    PackedSize = UnpackedSize = f.cbFile;
    Ratio = 0;
    CRC = 0;
    Encrypted = false;
    MethodId = type;
    MethodName = CabMethodName(type);
    VersionMadeBy = h.versionMinor;
    VersionNeeded = h.versionMajor;
    ExternalAttr = InternalAttr = f.attribs;
    OnRead(this, 0, static_cast<int>(i) + 1);
  }
}

bool TMakeCab::CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) {
  if (!oldCopied_) CopyOldEntries(in, out, list);
  const size_t record = list[index].Record<size_t>();
  return record < oldAdded_.size() && oldAdded_[record];
}

bool TMakeCab::CopyRenamedEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) {
  return CopyEntry(in, out, list, index);
}

void TMakeCab::CopyOldEntries(TStream32& in, TStream32& out, TCompHeaderObj& list) {
  oldCopied_ = true;
  if (!EnsureContext(out)) RaiseError(GetArchiveFile(), std::string(), VolumeName, E_CABDLL);
  std::vector<int> itemOf(oldRecords_.size(), -1);
  for (int i = 0; i < list.Count(); ++i) {
    const TCompHeaderItem& it = list[i];
    if (!it.FromScan && (it.Action == caCopy || it.Action == caRename) && it.Record<size_t>() < itemOf.size())
      itemOf[it.Record<size_t>()] = i;
  }
  TStreamCabinetFileHandler old;
  old.MapStream(GetArchiveFile(), &in, oldBase_);
  cab::ERF erf;
  cab::HFDI fdi = cab::FDICreate(
      [](size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); },
      [&old](const std::string& name, int oflag, int pmode) {
        int err = 0;
        return old.Open(name, oflag, pmode, err);
      },
      [&old](cab::FileHandle hf, void* buf, int64_t n) -> int64_t {
        int err = 0;
        const int64_t got = old.Read(hf, buf, n, err);
        return got == 0 && err == -1 ? -1 : got;
      },
      [this, &old](cab::FileHandle hf, const void* buf, int64_t n) -> int64_t {
        if (cancel_) return -1;
        int err = 0;
        const int64_t put = old.Write(hf, buf, n, err);
        if (put != n && plat::IsDiskFullError(err)) ReportError(GetTempDir(), std::string(), VolumeName, E_DISKFULL);
        return put;
      },
      [&old](cab::FileHandle hf) {
        int err = 0;
        return old.Close(hf, err);
      },
      [&old](cab::FileHandle hf, int64_t distance, int origin) {
        int err = 0;
        return old.Seek(hf, distance, origin, err);
      },
      cab::cpuUNKNOWN, &erf);
  if (fdi == nullptr) RaiseError(GetArchiveFile(), std::string(), VolumeName, E_CABDLL);
  struct TRelease {
    cab::HFDI fdi;
    ~TRelease() { cab::FDIDestroy(fdi); }
  } release{fdi};
  size_t record = 0;
  const std::string archive = GetArchiveFile();
  const bool walked = cab::FDICopy(fdi, plat::ExtractFileName(archive), plat::ExtractFilePath(archive), 0,
                                   [&](cab::FDINOTIFICATIONTYPE type, cab::FDINOTIFICATION& n) -> cab::FileHandle {
                                     if (type != cab::fdintCOPY_FILE && type != cab::fdintPARTIAL_FILE) return 0;
                                     const size_t k = record++;
                                     if (type == cab::fdintCOPY_FILE && k < itemOf.size() && itemOf[k] >= 0 &&
                                         !AddOldEntry(n, list[itemOf[k]], k, old, erf))
                                       return -1;
                                     return cancel_ ? -1 : 0;
                                   });
  if (!walked && !cancel_ && erf.erfOper != cab::FDIERROR_USER_ABORT)
    ReportError(archive, std::string(), VolumeName, E_CORRUPTINPUT);
}

bool TMakeCab::AddOldEntry(cab::FDINOTIFICATION& n, const TCompHeaderItem& item, size_t record,
                           TStreamCabinetFileHandler& old, const cab::ERF& erf) {
  FileName = item.Name;
  const std::string temp = plat::CreateTempFileName(GetTempDir(), "zcb");
  if (temp.empty()) {
    ReportError(GetTempDir(), std::string(), VolumeName, E_WRITEERROR);
    return false;
  }
  struct TRemove {
    const std::string& path;
    ~TRemove() { plat::DeleteFile(path); }
  } remove{temp};
  int err = 0;
  const cab::FileHandle hf = old.Open(temp, cab::kOpenCreate | cab::kOpenReadWrite | cab::kOpenBinary, 0, err);
  if (hf == cab::kNoFile) {
    ReportError(temp, std::string(), VolumeName, E_OPENERROR);
    return false;
  }
  const bool decoded = n.copy(hf);
  old.Close(hf, err);
  if (!decoded) {
    if (!cancel_ && erf.erfOper != cab::FDIERROR_TARGET_FILE)
      ReportError(item.Name, std::string(), VolumeName,
                  erf.erfType == cab::erfDetailTruncated  ? E_READERROR
                  : erf.erfType == cab::erfDetailBadHeader ? E_CORRUPTINPUT
                                                           : E_BADBLOCK);
    return false;
  }
  std::string stored = StoredNameBytes(item.Name);
  std::replace(stored.begin(), stored.end(), '/', '\\');
  item_ = &item;
  oldRecord_ = &oldRecords_[record];
  itemDone_ = 0;
  bool added = false;
  try {
    added = AddToCabinet(temp, stored);
  } catch (...) {
    item_ = nullptr;
    oldRecord_ = nullptr;
    throw;
  }
  item_ = nullptr;
  oldRecord_ = nullptr;
  if (!added) AddFailed(item);
  oldAdded_[record] = added;
  return added;
}

// ---- the library context -----------------------------------------------------------------

bool TMakeCab::EnsureContext(TStream32& out) {
  const std::string path = GetArchiveFile();
  if (fci_ != nullptr && (fciOut_ != &out || cabinetPath_ != path)) DestroyContext();
  if (fci_ != nullptr) return true;
  if (!CabinetLibraryPresent()) return false;
  TCCAB ccab;
  ccab.cb = kNoLimit;
  ccab.cbFolderThresh = kNoLimit;
  ccab.fFailOnIncompressible = FailOnIncompressible;
  ccab.cWorkers = CompressWorkers;
  ccab.szCab = plat::ExtractFileName(path);
  ccab.szCabPath = plat::ExtractFilePath(path);
  files_.ClearMaps();
  files_.MapStream(path, &out, stubLength_);
  fci_ = cab::FCICreate(
      &erf_, [](const TCCAB&, const std::string&, int64_t, bool) { return 0; },
      [](size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); },
      [this](const std::string& name, int oflag, int pmode, int& err) { return files_.Open(name, oflag, pmode, err); },
      [this](cab::FileHandle hf, void* buf, int64_t n, int& err) -> int64_t {
        if (cancel_) {
          BytesRemaining = 0;
          err = -1;
          return 0;
        }
        const int64_t got = files_.Read(hf, buf, n, err);
        if (item_ != nullptr && got > 0) {
          itemDone_ += got;
          BytesRemaining = std::max<int64_t>(0, BytesRemaining - got);
          ReportProgress(item_->FileSize, itemDone_);
        }
        return got;
      },
      [this](cab::FileHandle hf, const void* buf, int64_t n, int& err) -> int64_t {
        if (cancel_) {
          err = -1;
          return 0;
        }
        const int64_t put = files_.Write(hf, buf, n, err);
        if (put != n && plat::IsDiskFullError(err)) {
          ReportError(GetArchiveFile(), std::string(), VolumeName, E_DISKFULL);
        }
        return put;
      },
      [this](cab::FileHandle hf, int& err) { return files_.Close(hf, err); },
      [this](cab::FileHandle hf, int64_t distance, int origin, int& err) -> int64_t {
        if (cancel_) {
          err = -1;
          return -1;
        }
        return files_.Seek(hf, distance, origin, err);
      },
      [this](const std::string& name, int& err) { return files_.Delete(name, err); },
      [this](std::string& name, size_t size) {
        name = plat::CreateTempFileName(GetTempDir(), "zcb");
        return !name.empty() && name.size() < size;
      },
      ccab);
  fciOut_ = &out;
  cabinetPath_ = path;
  return fci_ != nullptr;
}

void TMakeCab::DestroyContext() {
  if (fci_ != nullptr) cab::FCIDestroy(fci_);
  fci_ = nullptr;
  fciOut_ = nullptr;
  files_.CloseAll();
  files_.ClearMaps();
}

cab::FileHandle TMakeCab::OpenInfo(const std::string& name, uint16_t& date, uint16_t& time, uint16_t& attribs,
                                   int& err) {
  plat::SetLastError(0);
  const int64_t attr = plat::FileGetAttr(name);
  if (attr < 0) {
    err = plat::LastError() != 0 ? plat::LastError() : -1;
    ReportError(name, plat::ErrorText(err), VolumeName, E_OPENERROR);
    return cab::kNoFile;
  }
  const cab::FileHandle hf = files_.Open(name, cab::kOpenReadOnly | cab::kOpenBinary, 0, err);
  if (hf == cab::kNoFile) {
    ReportError(name, std::string(), VolumeName, E_OPENERROR);
    return cab::kNoFile;
  }
  // An entry of the old cabinet keeps its stored date and attributes.
  const uint32_t dos = oldRecord_ != nullptr ? (uint32_t{oldRecord_->date} << 16) | oldRecord_->time
                       : EntryDate(item_ != nullptr ? item_->FileDate : plat::DateTimeToDosDateTime(plat::Now()));
  date = static_cast<uint16_t>(dos >> 16);
  time = static_cast<uint16_t>(dos & 0xFFFF);
  attribs = static_cast<uint16_t>((oldRecord_ != nullptr ? oldRecord_->attribs : attr) & kKeptAttributes);
  // a name stored in the chosen code page (StoredNameBytes) goes without the
  // UTF mark, as DOS tools read it
  if (item_ != nullptr && !plat::IsAscii(item_->Name) && StoredNameBytes(item_->Name) == item_->Name)
    attribs |= cab::kAttrNameIsUtf;
  if (OnRead) {
    plat::DosDateTimeToDateTime(dos, FileDate);
    ExternalAttr = InternalAttr = attribs;
    CRC = 0;
    Ratio = 0;
    Encrypted = false;
  }
  return hf;
}

bool TMakeCab::NextCabinet(TCCAB& ccab, uint32_t previousSize) {
  const std::string archive = GetArchiveFile();
  const std::string ext = plat::ExtractFileExt(archive);
  std::string proposal = archive.substr(0, archive.size() - ext.size()) + std::to_string(ccab.iCab + 1) + ext;
  bool abort = true;
  if (OnGetNextCabinet)
    OnGetNextCabinet(this, ccab, proposal, static_cast<int>(std::min<uint32_t>(previousSize, kNoLimit)), abort);
  else
    ReportError(archive, "OnGetNextCabinet", VolumeName, E_REQUIREDEVENT);
  if (abort || proposal.empty()) {
    ccab.szCab.clear();
    ccab.szCabPath.clear();
    return false;
  }
  const std::string full = plat::ExpandFileName(plat::ToNative(proposal));
  ccab.szCab = plat::ExtractFileName(full);
  ccab.szCabPath = plat::ExtractFilePath(full);
  return true;
}

// A folder unpacks to at most 65535 blocks of 32 KiB, and no file spans
// folders: what cabextract (libmspack's CAB_LENGTHMAX) and gcab accept.
TCompBase::TWriterLimits TMakeCab::WriterLimits() const {
  return {"a cabinet", static_cast<size_t>(cab::kMaxNameLength), cab::kMaxFolderSize, MaxFiles, false};
}

// ---- one file ------------------------------------------------------------------------------

bool TMakeCab::CompressEntry(TStream32& out, TCompHeaderObj& list, int index) {
  TCompHeaderItem& it = list[index];
  if (it.IsDir) return false;
  if (!EnsureContext(out)) RaiseError(GetArchiveFile(), std::string(), VolumeName, E_CABDLL);
  FileName = it.Name;
  std::string stored = StoredNameBytes(it.Name);
  std::replace(stored.begin(), stored.end(), '/', '\\');
  item_ = &it;
  itemDone_ = 0;
  bool ok = false;
  try {
    ok = AddToCabinet(it.SourcePath, stored);
  } catch (...) {
    item_ = nullptr;
    DestroyContext();
    throw;
  }
  item_ = nullptr;
  if (!ok) {
    AddFailed(it);
    if (OnEnd) OnEnd(this, FileName, false);
    // After a cancel nothing more is written: the loop drops the rest.
    if (cancel_) DestroyContext();
    return false;
  }
  it.UnpackedSize = it.FileSize;
  it.PackedSize = it.FileSize;
  MethodId = compressMethod_ == cmStore ? 0 : 1;
  MethodName = compressMethod_ == cmStore ? "Stored" : "MsZIP";
  if (!cancel_ && OnRead) {
    PackedSize = UnpackedSize = it.FileSize;
    OnRead(this, 0, 0);
  }
  if (OnEnd) OnEnd(this, FileName, !cancel_);
  return true;
}

bool TMakeCab::AddToCabinet(const std::string& source, const std::string& storedName) {
  return cab::FCIAddFile(
      fci_, source, storedName, false, [this](TCCAB& c, uint32_t prev) { return NextCabinet(c, prev); },
      [](unsigned type, uint32_t, uint32_t) -> int64_t { return type <= cab::statusCabinet ? 0 : -1; },
      [this](const std::string& name, uint16_t& d, uint16_t& t, uint16_t& a, int& err) {
        return OpenInfo(name, d, t, a, err);
      },
      CompressionValue());
}

void TMakeCab::AddFailed(const TCompHeaderItem& item) {
  if (cancel_) return;
  switch (erf_.erfOper) {
    case cab::FCIERR_BAD_COMPR_TYPE:
      ReportError(item.SourcePath, CabMethodName(CompressionValue() & cab::tcompMASK_TYPE),
                  VolumeName, E_UNSUPPORTEDMETHOD);
      break;
    case cab::FCIERR_OPEN_SRC:  // reported when it was opened
    case cab::FCIERR_USER_ABORT:
      break;
    case cab::FCIERR_READ_SRC:
      ReportError(item.SourcePath, std::string(), VolumeName, E_READERROR);
      break;
    case cab::FCIERR_CAB_FORMAT_LIMIT:
      ReportError(item.SourcePath, item.Name, VolumeName,
                  item.Name.size() > static_cast<size_t>(cab::kMaxNameLength) ? E_BADFILENAME : E_WRITEERROR);
      break;
    case cab::FCIERR_ALLOC_FAIL:
      ReportError(item.SourcePath, std::string(), VolumeName, E_OUTOFMEMORY);
      break;
    case cab::FCIERR_TEMP_FILE:
      ReportError(GetTempDir(), std::string(), VolumeName, E_WRITEERROR);
      break;
    default:
      ReportError(GetArchiveFile(), std::string(), VolumeName, E_WRITEERROR);
      break;
  }
}

bool TMakeCab::FinishArchive(TStream32& out, TCompHeaderObj& list) {
  (void)list;
  if (fci_ == nullptr || fciOut_ != &out) return false;
  bool ok = false;
  try {
    ok = cab::FCIFlushCabinet(
        fci_, false, [this](TCCAB& c, uint32_t prev) { return NextCabinet(c, prev); },
        [](unsigned type, uint32_t, uint32_t) -> int64_t { return type <= cab::statusCabinet ? 0 : -1; });
  } catch (...) {
    DestroyContext();
    throw;
  }
  if (!ok && !cancel_ && erf_.erfOper == cab::FCIERR_TEMP_FILE)
    ReportError(GetTempDir(), std::string(), VolumeName, E_WRITEERROR);
  DestroyContext();
  return ok;
}

}  // namespace zid
