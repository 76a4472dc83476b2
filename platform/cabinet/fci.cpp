#include "platform/cabinet/fci.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "platform/cabinet/cabformat.h"
#include "platform/cabinet/mszippool.h"

namespace plat::cab {

namespace {

constexpr int64_t kReadChunk = 65536;
constexpr size_t kTempNameSize = 256;
// Room kept in a cabinet for the next cabinet's name and disk name.
constexpr int64_t kNextNamesReserve = 2 * (kMaxNameLength + 1);
constexpr size_t kMaxRecords = 65535;

bool TypeWritable(TCOMP t) { return t == tcompTYPE_NONE || t == tcompTYPE_MSZIP; }

}  // namespace

struct FciContext {
  PFNFCIFILEPLACED placed;
  PFNALLOC alloc;
  PFNFREE free;
  PFNFCIOPEN open;
  PFNFCIREAD read;
  PFNFCIWRITE write;
  PFNFCICLOSE close;
  PFNFCISEEK seek;
  PFNFCIDELETE remove;
  PFNFCIGETTEMPFILE getTemp;
  ERF* erf = nullptr;
  ERF localErf;
  CCAB ccab;
  std::unique_ptr<TMsZipPool> pool;  // MSZIP blocks on their way to the data file
  bool broken = false;
  ERF brokenErf;

  // The cabinet being filled.
  std::string prevCab, prevDisk;
  uint16_t iCabinet = 0;
  std::vector<CabFolder> folders;  // coffCabStart: offset in the data file until written
  std::vector<CabFile> files;
  int64_t filesBytes = 0;
  std::string tempName;
  FileHandle temp = kNoFile;
  int64_t dataBytes = 0;
  int cabinetsWritten = 0;

  // The folder being filled.
  struct Folder {
    bool open = false;
    TCOMP type = 0;
    int64_t size = 0;      // bytes fed so far
    int64_t emitted = 0;   // of them, bytes in written blocks
    bool continued = false;  // begins in an earlier cabinet: takes no more files
    int64_t dataStart = 0; // offset of this cabinet's part in the data file
    uint32_t blocks = 0;   // blocks in this cabinet
    int64_t packed = 0;    // block bytes over all cabinets
    std::vector<uint8_t> pending;  // less than one block, not yet written
    std::vector<uint8_t> history;  // the block before (MSZIP dictionary)
    std::vector<CabFile> files;    // not yet placed in a cabinet
    std::vector<bool> listed;      // per file: listed in an earlier cabinet already
  } folder;

  std::vector<uint8_t> packedBuf;

  // Undo record of the file being added.
  struct Undo {
    bool armed = false;
    bool captured = false;
    size_t pendingSize = 0;
    std::vector<uint8_t> pending, history;
    int64_t size = 0, emitted = 0, packed = 0, dataBytes = 0;
    uint32_t blocks = 0;
    size_t files = 0;
    int cabinets = 0;
  } undo;

  bool Fail(FCIERROR code, int type = 0) {
    erf->erfOper = code;
    erf->erfType = type;
    erf->fError = true;
    return false;
  }
  bool Break() {
    broken = true;
    brokenErf = *erf;
    return false;
  }
  uint8_t FolderReserve() const { return static_cast<uint8_t>(ccab.cbReserveCFFolder); }
  uint8_t DataReserve() const { return static_cast<uint8_t>(ccab.cbReserveCFData); }

  bool EnsureTemp();
  void DropTemp();
  bool WriteAt(FileHandle hf, int64_t pos, const void* data, int64_t n, FCIERROR code);
  CabHeader MakeHeader(bool hasNext, const CCAB& next) const;
  int64_t Estimate(int64_t extra) const;
  bool EmitBlock(const uint8_t* p, size_t n, const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status);
  bool WriteBlock(const uint8_t* packed, size_t cb, size_t n, const PFNFCIGETNEXTCABINET& getNext,
                  const PFNFCISTATUS& status);
  bool TakeBlock(const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status);
  bool Drain(const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status);
  void DiscardBlocks() {
    if (pool) pool->Discard();
  }
  bool Feed(const uint8_t* p, size_t n, const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status);
  void PlaceFolderPart(int64_t splitAt);
  bool FlushFolder(const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status);
  bool SplitCabinet(const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status);
  bool WriteCabinet(bool hasNext, const CCAB& next, const PFNFCISTATUS& status);
  void StartNextCabinet(const CCAB& next);
  void CaptureUndo();
  bool TakeBack();
  bool AddFile(const std::string& source, const std::string& name, bool execute, const PFNFCIGETNEXTCABINET& getNext,
               const PFNFCISTATUS& status, const PFNFCIGETOPENINFO& openInfo, TCOMP type);
};

bool FciContext::EnsureTemp() {
  if (temp != kNoFile) return true;
  std::string name;
  if (!getTemp(name, kTempNameSize) || name.empty() || name.size() >= kTempNameSize) return Fail(FCIERR_TEMP_FILE);
  int err = 0;
  temp = open(name, kOpenCreate | kOpenExclusive | kOpenReadWrite | kOpenBinary, kModeRead | kModeWrite, err);
  if (temp == kNoFile) return Fail(FCIERR_TEMP_FILE, err);
  tempName = name;
  dataBytes = 0;
  return true;
}

void FciContext::DropTemp() {
  if (temp == kNoFile) return;
  int err = 0;
  const FileHandle hf = temp;
  temp = kNoFile;
  dataBytes = 0;
  close(hf, err);
  remove(tempName, err);
  tempName.clear();
}

bool FciContext::WriteAt(FileHandle hf, int64_t pos, const void* data, int64_t n, FCIERROR code) {
  int err = 0;
  if (seek(hf, pos, kSeekSet, err) != pos) return Fail(code, err);
  if (write(hf, data, n, err) != n) return Fail(code, err);
  return true;
}

CabHeader FciContext::MakeHeader(bool hasNext, const CCAB& next) const {
  CabHeader h;
  h.setID = ccab.setID;
  h.iCabinet = iCabinet;
  if (ccab.cbReserveCFHeader || ccab.cbReserveCFFolder || ccab.cbReserveCFData) {
    h.flags |= kFlagReservePresent;
    h.cbCFHeader = static_cast<uint16_t>(ccab.cbReserveCFHeader);
    h.cbCFFolder = FolderReserve();
    h.cbCFData = DataReserve();
  }
  if (iCabinet > 0) {
    h.flags |= kFlagPrevCabinet;
    h.prevCabinet = prevCab;
    h.prevDisk = prevDisk;
  }
  if (hasNext) {
    h.flags |= kFlagNextCabinet;
    h.nextCabinet = next.szCab;
    h.nextDisk = next.szDisk;
  }
  h.cFolders = static_cast<uint16_t>(folders.size());
  h.cFiles = static_cast<uint16_t>(files.size());
  return h;
}

// The size the cabinet would have with extra more bytes of data, counting
// the folder being filled and all its files, and room for a next cabinet's names.
int64_t FciContext::Estimate(int64_t extra) const {
  const CabHeader h = MakeHeader(false, ccab);
  int64_t n = h.Size() + kNextNamesReserve;
  n += static_cast<int64_t>(folders.size() + 1) * (kFolderFixedSize + FolderReserve());
  n += filesBytes;
  for (const CabFile& f : folder.files) n += f.RecordSize();
  return n + dataBytes + extra;
}

// Sends one block of n bytes on its way. A stored block is written now; an
// MSZIP block goes to the pool, primed with the input before it, and is
// written when taken, in order (TakeBlock, Drain).
bool FciContext::EmitBlock(const uint8_t* p, size_t n, const PFNFCIGETNEXTCABINET& getNext,
                           const PFNFCISTATUS& status) {
  CaptureUndo();
  if (folder.type != tcompTYPE_MSZIP) return WriteBlock(p, n, n, getNext, status);
  if (!pool) {
    pool = std::make_unique<TMsZipPool>(alloc, free, ccab.cWorkers);
    if (!pool->Ready()) {
      pool.reset();
      return Fail(FCIERR_ALLOC_FAIL);
    }
  }
  if (pool->Full() && !TakeBlock(getNext, status)) return false;
  pool->Submit(p, n, folder.history.data(), folder.history.size());
  folder.history.assign(p, p + n);
  return true;
}

bool FciContext::TakeBlock(const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status) {
  size_t n = 0;
  if (!pool->Take(packedBuf, n)) return Fail(FCIERR_MCI_FAIL);
  return WriteBlock(packedBuf.data(), packedBuf.size(), n, getNext, status);
}

// Writes every block still in the pool.
bool FciContext::Drain(const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status) {
  while (pool && pool->InFlight() > 0)
    if (!TakeBlock(getNext, status)) return false;
  return true;
}

// Writes one block of cb packed bytes for n bytes of input (folder offsets
// a = folder.emitted to a + n). When the cabinet cannot take it whole, the
// block is cut: the part that fits ends this cabinet (with cbUncomp 0, as
// readers expect of a block continued in the next cabinet) and the rest goes
// on in the next one.
bool FciContext::WriteBlock(const uint8_t* packed, size_t cb, size_t n, const PFNFCIGETNEXTCABINET& getNext,
                            const PFNFCISTATUS& status) {
  const auto packedSize = static_cast<uint32_t>(cb);
  const int64_t overhead = kDataFixedSize + DataReserve();
  for (;;) {
    const int64_t room = static_cast<int64_t>(ccab.cb) - Estimate(overhead);
    const bool last = static_cast<int64_t>(cb) <= room || (dataBytes == 0 && room < 1);
    const size_t part = last ? cb : static_cast<size_t>(std::max<int64_t>(room, 1));
    const uint16_t uncomp = last ? static_cast<uint16_t>(n) : 0;
    if (!EnsureTemp()) return false;
    const std::string head = DataHeaderBytes(BlockChecksum(packed, static_cast<uint16_t>(part), uncomp),
                                             static_cast<uint16_t>(part), uncomp, DataReserve());
    if (!WriteAt(temp, dataBytes, head.data(), static_cast<int64_t>(head.size()), FCIERR_TEMP_FILE) ||
        !WriteAt(temp, dataBytes + static_cast<int64_t>(head.size()), packed, static_cast<int64_t>(part),
                 FCIERR_TEMP_FILE))
      return false;
    dataBytes += overhead + static_cast<int64_t>(part);
    folder.packed += overhead + static_cast<int64_t>(part);
    ++folder.blocks;
    if (last) break;
    if (!SplitCabinet(getNext, status)) return false;
    packed += part;
    cb -= part;
  }
  folder.emitted += static_cast<int64_t>(n);
  if (status && status(statusFile, packedSize, static_cast<uint32_t>(n)) == -1)
    return Fail(FCIERR_USER_ABORT);
  return true;
}

bool FciContext::Feed(const uint8_t* p, size_t n, const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status) {
  constexpr size_t kBlock = kMaxBlockUncompressed;
  while (n > 0) {
    if (folder.pending.empty() && n >= kBlock) {
      folder.size += kBlock;
      if (!EmitBlock(p, kBlock, getNext, status)) return false;
      p += kBlock;
      n -= kBlock;
      continue;
    }
    const size_t take = std::min(n, kBlock - folder.pending.size());
    folder.pending.insert(folder.pending.end(), p, p + take);
    folder.size += static_cast<int64_t>(take);
    p += take;
    n -= take;
    if (folder.pending.size() == kBlock) {
      if (!EmitBlock(folder.pending.data(), kBlock, getNext, status)) return false;
      folder.pending.clear();
    }
  }
  return true;
}

// Puts this cabinet's part of the folder in its folder list, with its files.
// cut: the folder offset where the part ends, or -1 when the folder ends
// here. A file whose data reach past the cut (it ends in the cut block or
// later) is listed as going on in the next cabinet and kept for it.
void FciContext::PlaceFolderPart(int64_t cut) {
  const auto index = static_cast<uint16_t>(folders.size());
  folders.push_back(CabFolder{static_cast<uint32_t>(folder.dataStart), static_cast<uint16_t>(folder.blocks),
                              folder.type});
  std::vector<CabFile> keepFiles;
  std::vector<bool> keepListed;
  for (size_t i = 0; i < folder.files.size(); ++i) {
    CabFile placed = folder.files[i];
    const bool fromPrev = folder.listed[i];
    const bool toNext = cut >= 0 && int64_t{placed.uoffFolderStart} + placed.cbFile > cut;
    if (toNext)
      placed.iFolder = fromPrev ? kFolderContinuedPrevAndNext : kFolderContinuedToNext;
    else
      placed.iFolder = fromPrev ? kFolderContinuedFromPrev : index;
    filesBytes += placed.RecordSize();
    files.push_back(placed);
    if (toNext) {
      keepFiles.push_back(folder.files[i]);
      keepListed.push_back(true);
    }
  }
  folder.files = std::move(keepFiles);
  folder.listed = std::move(keepListed);
}

bool FciContext::FlushFolder(const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status) {
  if (!folder.open) return true;
  if (!folder.pending.empty()) {
    if (!EmitBlock(folder.pending.data(), folder.pending.size(), getNext, status)) return false;
    folder.pending.clear();
  }
  if (!Drain(getNext, status)) return false;
  PlaceFolderPart(-1);
  const auto done = static_cast<uint32_t>(std::min<int64_t>(folder.size, UINT32_MAX));
  folder = Folder{};
  if (status && status(statusFolder, done, done) == -1) return Fail(FCIERR_USER_ABORT);
  return true;
}

// Ends the cabinet inside the block being written (its first part is in
// this cabinet); the folder goes on in the next cabinet, where it takes no
// files beyond those it holds already.
bool FciContext::SplitCabinet(const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status) {
  CCAB next = ccab;
  next.iCab = ccab.iCab + 1;
  if (!getNext || !getNext(next, static_cast<uint32_t>(std::min<int64_t>(Estimate(0), UINT32_MAX))))
    return Fail(FCIERR_USER_ABORT);
  PlaceFolderPart(folder.emitted);
  if (!WriteCabinet(true, next, status)) return false;
  StartNextCabinet(next);
  folder.continued = true;
  folder.blocks = 0;
  folder.dataStart = 0;
  return true;
}

void FciContext::StartNextCabinet(const CCAB& next) {
  prevCab = ccab.szCab;
  prevDisk = ccab.szDisk;
  ccab = next;
  ++iCabinet;
  folders.clear();
  files.clear();
  filesBytes = 0;
  DropTemp();
}

bool FciContext::WriteCabinet(bool hasNext, const CCAB& next, const PFNFCISTATUS& status) {
  if (files.size() > kMaxRecords || folders.size() > kMaxRecords) return Fail(FCIERR_CAB_FORMAT_LIMIT);
  CabHeader h = MakeHeader(hasNext, next);
  const int64_t filesStart = h.Size() + static_cast<int64_t>(folders.size()) * (kFolderFixedSize + FolderReserve());
  const int64_t dataStart = filesStart + filesBytes;
  const int64_t total = dataStart + dataBytes;
  if (total > static_cast<int64_t>(UINT32_MAX)) return Fail(FCIERR_CAB_FORMAT_LIMIT);
  h.cbCabinet = static_cast<uint32_t>(total);
  h.coffFiles = static_cast<uint32_t>(filesStart);
  if (status && status(statusCabinet, static_cast<uint32_t>(total), static_cast<uint32_t>(total)) == -1)
    return Fail(FCIERR_USER_ABORT);

  std::string head = HeaderBytes(h);
  for (CabFolder f : folders) {
    f.coffCabStart = static_cast<uint32_t>(dataStart + f.coffCabStart);
    head += FolderBytes(f, FolderReserve());
  }
  for (const CabFile& f : files) head += FileBytes(f);

  int err = 0;
  const FileHandle hf = open(ccab.szCabPath + ccab.szCab, kOpenCreate | kOpenTruncate | kOpenReadWrite | kOpenBinary,
                             kModeRead | kModeWrite, err);
  if (hf == kNoFile) return Fail(FCIERR_CAB_FILE, err);
  bool ok = WriteAt(hf, 0, head.data(), static_cast<int64_t>(head.size()), FCIERR_CAB_FILE);
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(kReadChunk, std::max<int64_t>(dataBytes, 1))));
  for (int64_t done = 0; ok && done < dataBytes;) {
    const int64_t n = std::min<int64_t>(static_cast<int64_t>(buf.size()), dataBytes - done);
    if (seek(temp, done, kSeekSet, err) != done || read(temp, buf.data(), n, err) != n) {
      ok = Fail(FCIERR_TEMP_FILE, err);
      break;
    }
    ok = WriteAt(hf, static_cast<int64_t>(head.size()) + done, buf.data(), n, FCIERR_CAB_FILE);
    done += n;
  }
  if (close(hf, err) != 0 && ok) ok = Fail(FCIERR_CAB_FILE, err);
  if (!ok) return false;
  ++cabinetsWritten;
  if (placed)
    for (const CabFile& f : files) placed(ccab, f.name, f.cbFile, f.FromPrev());
  return true;
}

bool FciContext::AddFile(const std::string& source, const std::string& name, bool execute,
                         const PFNFCIGETNEXTCABINET& getNext, const PFNFCISTATUS& status,
                         const PFNFCIGETOPENINFO& openInfo, TCOMP type) {
  if (name.empty() || name.size() > static_cast<size_t>(kMaxNameLength) || name.find('\0') != std::string::npos)
    return Fail(FCIERR_CAB_FORMAT_LIMIT);
  if (!TypeWritable(type)) return Fail(FCIERR_BAD_COMPR_TYPE);
  if (files.size() + folder.files.size() + 1 > kMaxRecords || folders.size() + 2 > kMaxRecords)
    return Fail(FCIERR_CAB_FORMAT_LIMIT);
  if (!openInfo) return Fail(FCIERR_OPEN_SRC);
  uint16_t date = 0, time = 0, attribs = 0;
  int err = 0;
  const FileHandle hf = openInfo(source, date, time, attribs, err);
  if (hf == kNoFile) return Fail(FCIERR_OPEN_SRC, err);
  struct Closer {
    FciContext* c;
    FileHandle hf;
    ~Closer() {
      int e = 0;
      try {
        c->close(hf, e);
      } catch (...) {
      }
    }
  } closer{this, hf};

  const int64_t size = seek(hf, 0, kSeekEnd, err);
  if (size < 0 || seek(hf, 0, kSeekSet, err) != 0) return Fail(FCIERR_READ_SRC, err);
  if (size > kMaxFolderSize) return Fail(FCIERR_CAB_FORMAT_LIMIT);

  if (folder.open && (folder.type != type || folder.continued ||
                      folder.packed >= static_cast<int64_t>(ccab.cbFolderThresh) ||
                      folder.size + size > kMaxFolderSize)) {
    if (!FlushFolder(getNext, status)) return Break();
  }
  if (!folder.open) {
    folder = Folder{};
    folder.open = true;
    folder.type = type;
    folder.dataStart = dataBytes;
  }
  // What a failed read takes back: the folder as it was before this file.
  undo = Undo{};
  undo.armed = true;
  undo.pendingSize = folder.pending.size();
  undo.size = folder.size;
  undo.emitted = folder.emitted;
  undo.blocks = folder.blocks;
  undo.packed = folder.packed;
  undo.files = folder.files.size();
  undo.dataBytes = dataBytes;
  undo.cabinets = cabinetsWritten;

  CabFile rec;
  rec.cbFile = static_cast<uint32_t>(size);
  rec.uoffFolderStart = static_cast<uint32_t>(folder.size);
  rec.date = date;
  rec.time = time;
  rec.attribs = static_cast<uint16_t>(attribs | (execute ? kAttrExecute : 0));
  rec.name = name;
  folder.files.push_back(rec);
  folder.listed.push_back(false);

  bool ok = true;
  try {
    std::vector<uint8_t> buf(static_cast<size_t>(kReadChunk));
    int64_t total = 0;
    for (;;) {
      err = 0;
      const int64_t n = read(hf, buf.data(), kReadChunk, err);
      if (n < 0 || (n == 0 && err != 0)) {
        ok = Fail(FCIERR_READ_SRC, err);
        break;
      }
      if (n == 0) break;
      if (total + n > size) {
        ok = Fail(FCIERR_READ_SRC);
        break;
      }
      if (!Feed(buf.data(), static_cast<size_t>(n), getNext, status)) {
        ok = false;
        break;
      }
      total += n;
    }
    if (ok && total != size) ok = Fail(FCIERR_READ_SRC);
    // The file's blocks are all written before the next file may start.
    if (ok) ok = Drain(getNext, status);
  } catch (...) {
    DiscardBlocks();
    if (!TakeBack()) brokenErf = ERF{FCIERR_USER_ABORT, 0, true};
    undo = Undo{};
    throw;
  }
  if (!ok) {
    DiscardBlocks();
    if (!TakeBack()) Break();
  }
  undo = Undo{};
  return ok;
}

// Before the first block written for a file, keeps what that block changes.
void FciContext::CaptureUndo() {
  if (!undo.armed || undo.captured) return;
  undo.pending.assign(folder.pending.begin(),
                      folder.pending.begin() + static_cast<std::ptrdiff_t>(std::min(undo.pendingSize, folder.pending.size())));
  undo.history = folder.history;
  undo.captured = true;
}

// Puts the folder back as it was before the file being added; impossible
// once a cabinet was written meanwhile (the context is then broken).
bool FciContext::TakeBack() {
  if (!undo.armed || cabinetsWritten != undo.cabinets) {
    broken = true;
    return false;
  }
  if (undo.captured) {
    folder.pending = std::move(undo.pending);
    folder.history = std::move(undo.history);
  } else {
    folder.pending.resize(undo.pendingSize);
  }
  folder.size = undo.size;
  folder.emitted = undo.emitted;
  folder.blocks = undo.blocks;
  folder.packed = undo.packed;
  folder.files.resize(undo.files);
  folder.listed.resize(undo.files);
  dataBytes = undo.dataBytes;
  if (folder.files.empty() && folder.size == 0) folder.open = false;
  return true;
}

// ---------------------------------------------------------------------------
// The calls

HFCI FCICreate(ERF* perf, PFNFCIFILEPLACED pfnfcifp, PFNALLOC pfna, PFNFREE pfnf, PFNFCIOPEN pfnopen,
               PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose, PFNFCISEEK pfnseek,
               PFNFCIDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, const CCAB& ccab) {
  ERF dummy;
  ERF* erf = perf != nullptr ? perf : &dummy;
  *erf = ERF{};
  auto fail = [erf](FCIERROR code) -> HFCI {
    erf->erfOper = code;
    erf->fError = true;
    return nullptr;
  };
  if (!pfna || !pfnf || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek || !pfndelete || !pfnfcigtf)
    return fail(FCIERR_MCI_FAIL);
  if (ccab.cbReserveCFHeader > static_cast<uint32_t>(kMaxHeaderReserve) || ccab.cbReserveCFFolder > 255 ||
      ccab.cbReserveCFData > 255 || ccab.szCab.size() > static_cast<size_t>(kMaxNameLength) ||
      ccab.szDisk.size() > static_cast<size_t>(kMaxNameLength))
    return fail(FCIERR_CAB_FORMAT_LIMIT);
  auto* ctx = new (std::nothrow) FciContext;
  if (ctx == nullptr) return fail(FCIERR_ALLOC_FAIL);
  ctx->placed = std::move(pfnfcifp);
  ctx->alloc = std::move(pfna);
  ctx->free = std::move(pfnf);
  ctx->open = std::move(pfnopen);
  ctx->read = std::move(pfnread);
  ctx->write = std::move(pfnwrite);
  ctx->close = std::move(pfnclose);
  ctx->seek = std::move(pfnseek);
  ctx->remove = std::move(pfndelete);
  ctx->getTemp = std::move(pfnfcigtf);
  ctx->erf = perf != nullptr ? perf : &ctx->localErf;
  ctx->ccab = ccab;
  return ctx;
}

bool FCIAddFile(HFCI hfci, const std::string& pszSourceFile, const std::string& pszFileName, bool fExecute,
                const PFNFCIGETNEXTCABINET& pfnfcignc, const PFNFCISTATUS& pfnfcis,
                const PFNFCIGETOPENINFO& pfnfcigoi, TCOMP typeCompress) {
  if (hfci == nullptr) return false;
  if (hfci->broken) {
    *hfci->erf = hfci->brokenErf;
    return false;
  }
  *hfci->erf = ERF{};
  return hfci->AddFile(pszSourceFile, pszFileName, fExecute, pfnfcignc, pfnfcis, pfnfcigoi, typeCompress);
}

bool FCIFlushFolder(HFCI hfci, const PFNFCIGETNEXTCABINET& pfnfcignc, const PFNFCISTATUS& pfnfcis) {
  if (hfci == nullptr) return false;
  if (hfci->broken) {
    *hfci->erf = hfci->brokenErf;
    return false;
  }
  *hfci->erf = ERF{};
  try {
    return hfci->FlushFolder(pfnfcignc, pfnfcis) || hfci->Break();
  } catch (...) {
    hfci->broken = true;
    throw;
  }
}

bool FCIFlushCabinet(HFCI hfci, bool fGetNextCab, const PFNFCIGETNEXTCABINET& pfnfcignc,
                     const PFNFCISTATUS& pfnfcis) {
  if (hfci == nullptr) return false;
  FciContext& c = *hfci;
  if (c.broken) {
    *c.erf = c.brokenErf;
    return false;
  }
  *c.erf = ERF{};
  try {
    if (!c.FlushFolder(pfnfcignc, pfnfcis)) return c.Break();
    if (fGetNextCab) {
      CCAB next = c.ccab;
      next.iCab = c.ccab.iCab + 1;
      if (!pfnfcignc || !pfnfcignc(next, static_cast<uint32_t>(std::min<int64_t>(c.Estimate(0), UINT32_MAX)))) {
        c.Fail(FCIERR_USER_ABORT);
        return c.Break();
      }
      if (!c.WriteCabinet(true, next, pfnfcis)) return c.Break();
      c.StartNextCabinet(next);
    } else {
      if (!c.WriteCabinet(false, c.ccab, pfnfcis)) return c.Break();
      c.folders.clear();
      c.files.clear();
      c.filesBytes = 0;
      c.DropTemp();
    }
    return true;
  } catch (...) {
    c.broken = true;
    c.brokenErf.erfOper = FCIERR_USER_ABORT;
    c.brokenErf.fError = true;
    throw;
  }
}

bool FCIDestroy(HFCI hfci) {
  if (hfci == nullptr) return false;
  try {
    hfci->DropTemp();
  } catch (...) {
  }
  hfci->pool.reset();
  delete hfci;
  return true;
}

}  // namespace plat::cab
