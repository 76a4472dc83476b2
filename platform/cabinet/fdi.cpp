#include "platform/cabinet/fdi.h"

#include <mspack.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/cabinet/cabformat.h"
#include "platform/cabinet/msio.h"
#include "platform/cabinet/mszipfolder.h"

namespace plat::cab {

namespace {

// How often fdintNEXT_CABINET is asked again after a cabinet that does not fit.
constexpr int kMaxCabinetTries = 3;
// Cabinets one set may hold.
constexpr size_t kMaxSetLength = 1000;
// Input buffer of libmspack's decoders.
constexpr int kDecodeBuffer = 65536;

bool SameNameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

// One cabinet of the set being read.
struct FdiLink {
  std::string folder;  // as given (the notifications' psz3)
  std::string name;
  std::string path;    // folder + name; libmspack keeps pointing at it
  CabHeader header;
  std::vector<CabFolder> folders;
  std::vector<CabFile> files;
  mscabd_cabinet* cab = nullptr;
  mscab_decompressor* cabd = nullptr;
  bool owner = false;  // closing this one frees the whole merged set

  TMsSystem* io = nullptr;

  ~FdiLink() {
    if (owner && cab != nullptr) {
      TMsCall call(*io);
      cabd->close(cabd, cab);
    }
  }
};

struct FdiContext {
  FdiContext(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read, PFNWRITE write, PFNCLOSE close,
             PFNSEEK seek, ERF* erf)
      : io(std::move(alloc), std::move(free), std::move(open), std::move(read), std::move(write), std::move(close),
           std::move(seek)),
        erf(erf) {}

  TMsSystem io;
  ERF* erf;
  ERF localErf;
  mscab_decompressor* cabd = nullptr;
  // The cabinets of the set loaded so far, in set order; the first owns them.
  std::vector<std::unique_ptr<FdiLink>> chain;
  // The MSZIP folder read last (its first cabinet in the chain and its index
  // there), kept so that the next file of the folder goes on from its place.
  std::unique_ptr<TMsZipFolder> mszip;
  size_t mszipLink = 0;
  int mszipFolder = -1;

  bool Fail(FDIERROR code, int detail = erfDetailNone) {
    erf->erfOper = code;
    erf->erfType = detail;
    erf->fError = true;
    return false;
  }
  void ClearError() { *erf = ERF{}; }
  void CloseChain() {
    mszip.reset();
    // The first link frees the whole set; drop the others first so none outlives it.
    while (chain.size() > 1) chain.pop_back();
    chain.clear();
  }

  ReadAtFn Reader(FileHandle hf) {
    return [this, hf](int64_t pos, void* buf, int64_t n) -> int64_t {
      if (io.Seek()(hf, pos, kSeekSet) != pos) return 0;
      int64_t done = 0;
      while (done < n) {
        const int64_t got = io.Read()(hf, static_cast<uint8_t*>(buf) + done, n - done);
        if (got <= 0) break;
        done += got;
      }
      return done;
    };
  }

  bool MapMspackError(int err);
  std::unique_ptr<FdiLink> OpenLink(const std::string& folder, const std::string& name, FDIERROR& error,
                                    int& detail);
  bool LoadNext(const PFNFDINOTIFY& notify);
  bool EnsureContinuation(size_t li, const CabFile& rec, const PFNFDINOTIFY& notify);
  mscabd_file* FindMerged(size_t li, size_t index);
  bool GoesOn(size_t li) const;
  bool CopyMsZip(size_t li, int folder, const CabFile& rec, FileHandle hf);
  bool CopyFile(size_t li, size_t index, FileHandle hf, const PFNFDINOTIFY& notify);
  bool Copy(const std::string& name, const std::string& folder, const PFNFDINOTIFY& notify);
};

bool FdiContext::MapMspackError(int err) {
  if (io.AllocFailed()) return Fail(FDIERROR_ALLOC_FAIL);
  if (io.WriteShort()) return Fail(FDIERROR_TARGET_FILE);
  switch (err) {
    case MSPACK_ERR_OK: return true;
    case MSPACK_ERR_OPEN: return Fail(FDIERROR_CABINET_NOT_FOUND);
    case MSPACK_ERR_READ:
    case MSPACK_ERR_SEEK: return Fail(FDIERROR_CORRUPT_CABINET, erfDetailTruncated);
    case MSPACK_ERR_WRITE: return Fail(FDIERROR_TARGET_FILE);
    case MSPACK_ERR_NOMEMORY: return Fail(FDIERROR_ALLOC_FAIL);
    case MSPACK_ERR_SIGNATURE: return Fail(FDIERROR_NOT_A_CABINET);
    case MSPACK_ERR_CHECKSUM: return Fail(FDIERROR_CORRUPT_CABINET, erfDetailBadChecksum);
    case MSPACK_ERR_DATAFORMAT:
    case MSPACK_ERR_DECRUNCH: return Fail(FDIERROR_CORRUPT_CABINET, erfDetailBadData);
    default: return Fail(FDIERROR_MDI_FAIL);
  }
}

std::unique_ptr<FdiLink> FdiContext::OpenLink(const std::string& folder, const std::string& name,
                                              FDIERROR& error, int& detail) {
  auto link = std::make_unique<FdiLink>();
  link->folder = folder;
  link->name = name;
  link->path = folder + name;
  link->cabd = cabd;
  link->io = &io;
  detail = erfDetailNone;
  const FileHandle hf = io.Open()(link->path, kOpenReadOnly | kOpenBinary, 0);
  if (hf == kNoFile) {
    error = FDIERROR_CABINET_NOT_FOUND;
    return nullptr;
  }
  ParseResult r;
  try {
    r = ReadDirectory(Reader(hf), 0, link->header, link->folders, link->files);
  } catch (...) {
    io.Close()(hf);
    throw;
  }
  io.Close()(hf);
  if (r != ParseResult::Ok) {
    error = r == ParseResult::NotCabinet ? FDIERROR_NOT_A_CABINET : FDIERROR_CORRUPT_CABINET;
    detail = r == ParseResult::Truncated ? erfDetailTruncated : erfDetailBadHeader;
    return nullptr;
  }
  {
    TMsCall call(io);
    link->cab = cabd->open(cabd, link->path.c_str());
  }
  io.TakeException();
  if (link->cab == nullptr) {
    const ERF saved = *erf;
    MapMspackError(cabd->last_error(cabd));
    error = static_cast<FDIERROR>(erf->erfOper);
    detail = erf->erfType;
    *erf = saved;
    return nullptr;
  }
  link->owner = true;
  // libmspack reads the same records; a different count means they were read differently.
  size_t count = 0;
  for (mscabd_file* f = link->cab->files; f != nullptr; f = f->next) ++count;
  if (count != link->files.size()) {
    error = FDIERROR_CORRUPT_CABINET;
    detail = erfDetailBadHeader;
    return nullptr;
  }
  error = FDIERROR_NONE;
  return link;
}

// Asks for the cabinet after the last one loaded and appends it to the set.
bool FdiContext::LoadNext(const PFNFDINOTIFY& notify) {
  FdiLink& last = *chain.back();
  const std::string next = CabinetFileName(last.header.nextCabinet);
  if (!last.header.HasNext() || next.empty() || SameNameNoCase(next, last.name) || chain.size() >= kMaxSetLength)
    return Fail(FDIERROR_CORRUPT_CABINET, erfDetailBadHeader);
  FDINOTIFICATION n;
  n.psz1 = next;
  n.psz2 = last.header.nextDisk;
  n.psz3 = last.folder;
  n.setID = last.header.setID;
  n.iCabinet = static_cast<uint16_t>(last.header.iCabinet + 1);
  for (int attempt = 0; attempt < kMaxCabinetTries; ++attempt) {
    if (notify(fdintNEXT_CABINET, n) == -1) return Fail(FDIERROR_USER_ABORT);
    if (n.psz1.empty()) {
      n.fdie = FDIERROR_CABINET_NOT_FOUND;
      continue;
    }
    bool loaded = false;
    for (const auto& l : chain) loaded = loaded || l->path == n.psz3 + n.psz1;
    if (loaded) {
      n.fdie = FDIERROR_WRONG_CABINET;
      continue;
    }
    FDIERROR e = FDIERROR_NONE;
    int detail = 0;
    std::unique_ptr<FdiLink> link = OpenLink(n.psz3, n.psz1, e, detail);
    if (!link) {
      n.fdie = e;
      continue;
    }
    if (link->header.setID != last.header.setID || !link->header.HasPrev()) {
      n.fdie = FDIERROR_WRONG_CABINET;
      continue;
    }
    int err;
    {
      TMsCall call(io);
      err = cabd->append(cabd, last.cab, link->cab);
    }
    io.TakeException();
    if (err != MSPACK_ERR_OK) {
      n.fdie = FDIERROR_WRONG_CABINET;
      continue;
    }
    link->owner = false;
    chain.push_back(std::move(link));
    return true;
  }
  return Fail(n.fdie == FDIERROR_NONE ? FDIERROR_WRONG_CABINET : n.fdie);
}

// Loads the cabinets the folder of a file goes on into, up to the one where
// it ends: the decoder takes a folder only when all of it is there, also for
// a file that ends before the cut.
bool FdiContext::EnsureContinuation(size_t li, const CabFile& rec, const PFNFDINOTIFY& notify) {
  size_t k = li;
  int folder = rec.FolderIndex(chain[k]->header.cFolders);
  for (;;) {
    const FdiLink& cab = *chain[k];
    bool goesOn = false;
    if (folder == cab.header.cFolders - 1)
      for (const CabFile& f : cab.files) goesOn = goesOn || f.ToNext();
    if (!goesOn) return true;
    if (k + 1 >= chain.size() && !LoadNext(notify)) return false;
    ++k;
    folder = 0;
  }
}

// libmspack's list of a merged set holds every file once: each cabinet's
// records in order, without the continuations of files an earlier cabinet
// of the set already holds.
mscabd_file* FdiContext::FindMerged(size_t li, size_t index) {
  size_t pos = 0;
  for (size_t k = 0; k < li; ++k)
    for (const CabFile& f : chain[k]->files)
      if (k == 0 || !f.FromPrev()) ++pos;
  for (size_t j = 0; j < index; ++j)
    if (li == 0 || !chain[li]->files[j].FromPrev()) ++pos;
  mscabd_file* f = chain[li]->cab->files;
  for (; f != nullptr && pos > 0; --pos) f = f->next;
  const CabFile& rec = chain[li]->files[index];
  if (f == nullptr || f->filename == nullptr || rec.name != f->filename || f->length != rec.cbFile ||
      f->offset != rec.uoffFolderStart)
    return nullptr;
  return f;
}

// Whether the last folder of chain[li] goes on in the next cabinet.
bool FdiContext::GoesOn(size_t li) const {
  for (const CabFile& f : chain[li]->files)
    if (f.ToNext()) return true;
  return false;
}

// MSZIP folders are decoded here rather than by libmspack: the folder is
// found from its first cabinet in the chain to its last, and read on from
// where the file before left it when that file was of the same folder.
bool FdiContext::CopyMsZip(size_t li, int folder, const CabFile& rec, FileHandle hf) {
  size_t k = li;
  int fi = folder;
  while (fi == 0 && k > 0 && GoesOn(k - 1)) {
    --k;
    fi = chain[k]->header.cFolders - 1;
  }
  if (!mszip || mszipLink != k || mszipFolder != fi) {
    mszip.reset();
    std::vector<TFolderPart> parts;
    for (size_t c = k;; ++c) {
      const FdiLink& cab = *chain[c];
      const int f = c == k ? fi : 0;
      if (f >= static_cast<int>(cab.folders.size())) return Fail(FDIERROR_CORRUPT_CABINET, erfDetailBadHeader);
      const CabFolder& rf = cab.folders[static_cast<size_t>(f)];
      if ((rf.typeCompress & tcompMASK_TYPE) != tcompTYPE_MSZIP) return Fail(FDIERROR_CORRUPT_CABINET, erfDetailBadHeader);
      parts.push_back(TFolderPart{cab.path, rf.coffCabStart, rf.cCFData, cab.header.cbCFData});
      if (f != cab.header.cFolders - 1 || !GoesOn(c)) break;
      if (c + 1 >= chain.size()) return Fail(FDIERROR_CORRUPT_CABINET, erfDetailBadHeader);
    }
    mszip.reset(new (std::nothrow) TMsZipFolder(io, std::move(parts)));
    if (!mszip) return Fail(FDIERROR_ALLOC_FAIL);
    mszipLink = k;
    mszipFolder = fi;
  }
  FDIERROR e = FDIERROR_NONE;
  int detail = erfDetailNone;
  if (!mszip->Copy(rec.uoffFolderStart, rec.cbFile, hf, e, detail)) return Fail(e, detail);
  return true;
}

bool FdiContext::CopyFile(size_t li, size_t index, FileHandle hf, const PFNFDINOTIFY& notify) {
  const CabFile rec = chain[li]->files[index];
  if (!EnsureContinuation(li, rec, notify)) return false;
  const int folder = rec.FolderIndex(chain[li]->header.cFolders);
  if (folder < static_cast<int>(chain[li]->folders.size()) &&
      (chain[li]->folders[static_cast<size_t>(folder)].typeCompress & tcompMASK_TYPE) == tcompTYPE_MSZIP)
    return CopyMsZip(li, folder, rec, hf);
  mscabd_file* f = FindMerged(li, index);
  if (f == nullptr) return Fail(FDIERROR_CORRUPT_CABINET, erfDetailBadHeader);
  int err;
  {
    TMsCall call(io);
    io.SetOutput(hf);
    err = cabd->extract(cabd, f, TMsSystem::kOutputName);
    io.SetOutput(kNoFile);
  }
  io.TakeException();
  return MapMspackError(err);
}

bool FdiContext::Copy(const std::string& name, const std::string& folder, const PFNFDINOTIFY& notify) {
  // The MSZIP folder's cabinet is not held open past the walk.
  struct CloseAfter {
    FdiContext* c;
    ~CloseAfter() {
      if (c->mszip) {
        try {
          c->mszip->CloseCabinet();
        } catch (...) {
        }
      }
    }
  } closeAfter{this};
  const std::string path = folder + name;
  size_t li = chain.size();
  for (size_t k = 0; k < chain.size(); ++k)
    if (chain[k]->path == path) li = k;
  if (li == chain.size()) {
    CloseChain();
    FDIERROR e = FDIERROR_NONE;
    int detail = 0;
    std::unique_ptr<FdiLink> link = OpenLink(folder, name, e, detail);
    if (!link) return Fail(e, detail);
    chain.push_back(std::move(link));
    li = 0;
  }
  FdiLink& cab = *chain[li];
  {
    FDINOTIFICATION n;
    if (cab.header.HasNext()) n.psz1 = CabinetFileName(cab.header.nextCabinet);
    n.psz2 = cab.header.nextDisk;
    n.psz3 = folder;
    n.setID = cab.header.setID;
    n.iCabinet = cab.header.iCabinet;
    if (notify(fdintCABINET_INFO, n) == -1) return Fail(FDIERROR_USER_ABORT);
  }
  // A set read from the middle: the first folder began in a cabinet that is not loaded.
  bool firstFolderContinues = false;
  if (li == 0 && cab.header.HasPrev())
    for (const CabFile& f : cab.files) firstFolderContinues = firstFolderContinues || f.FromPrev();

  for (size_t i = 0; i < cab.files.size(); ++i) {
    const CabFile rec = cab.files[i];
    if (rec.FromPrev() || (firstFolderContinues && rec.FolderIndex(cab.header.cFolders) == 0)) {
      FDINOTIFICATION n;
      n.psz1 = rec.name;
      n.psz2 = cab.header.prevCabinet;
      n.psz3 = cab.header.prevDisk;
      n.cb = rec.cbFile;
      n.attribs = rec.attribs;
      n.iFolder = rec.iFolder;
      if (notify(fdintPARTIAL_FILE, n) == -1) return Fail(FDIERROR_USER_ABORT);
      continue;
    }
    FDINOTIFICATION n;
    n.psz1 = rec.name;
    n.cb = rec.cbFile;
    n.date = rec.date;
    n.time = rec.time;
    n.attribs = rec.attribs;
    n.iFolder = rec.iFolder;
    n.setID = cab.header.setID;
    n.iCabinet = cab.header.iCabinet;
    bool copied = false;
    n.copy = [&](FileHandle hf) {
      if (copied) return false;
      copied = true;
      ClearError();
      return CopyFile(li, i, hf, notify);
    };
    const FileHandle r = notify(fdintCOPY_FILE, n);
    if (r == -1) return erf->fError ? false : Fail(FDIERROR_USER_ABORT);
    if (copied || r == 0) continue;
    if (!CopyFile(li, i, r, notify)) {
      io.Close()(r);
      return false;
    }
    FDINOTIFICATION c;
    c.psz1 = rec.name;
    c.hf = r;
    c.date = rec.date;
    c.time = rec.time;
    c.attribs = rec.attribs;
    c.cb = (rec.attribs & kAttrExecute) ? 1 : 0;
    const FileHandle closed = notify(fdintCLOSE_FILE_INFO, c);
    if (closed == 0 || closed == -1) return Fail(FDIERROR_USER_ABORT);
  }
  ClearError();
  return true;
}

// ---------------------------------------------------------------------------
// The calls

HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int /*cpuType*/, ERF* perf) {
  ERF dummy;
  if (perf == nullptr) perf = &dummy;
  *perf = ERF{};
  auto fail = [perf](FDIERROR code) -> HFDI {
    perf->erfOper = code;
    perf->fError = true;
    return nullptr;
  };
  if (!pfnalloc || !pfnfree || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek)
    return fail(FDIERROR_MDI_FAIL);
  int selftest = 0;
  MSPACK_SYS_SELFTEST(selftest);
  if (selftest != MSPACK_ERR_OK) return fail(FDIERROR_MDI_FAIL);
  auto* ctx = new (std::nothrow) FdiContext(std::move(pfnalloc), std::move(pfnfree), std::move(pfnopen),
                                            std::move(pfnread), std::move(pfnwrite), std::move(pfnclose),
                                            std::move(pfnseek), perf == &dummy ? nullptr : perf);
  if (ctx == nullptr) return fail(FDIERROR_ALLOC_FAIL);
  if (ctx->erf == nullptr) ctx->erf = &ctx->localErf;
  {
    TMsCall call(ctx->io);
    ctx->cabd = mspack_create_cab_decompressor(ctx->io.System());
  }
  if (ctx->cabd == nullptr) {
    delete ctx;
    return fail(FDIERROR_ALLOC_FAIL);
  }
  {
    TMsCall call(ctx->io);
    ctx->cabd->set_param(ctx->cabd, MSCABD_PARAM_DECOMPBUF, kDecodeBuffer);
  }
  return ctx;
}

bool FDIIsCabinet(HFDI hfdi, FileHandle hf, FDICABINETINFO* info) {
  if (hfdi == nullptr || hf == kNoFile) return false;
  hfdi->ClearError();
  CabHeader h;
  const ParseResult r = ReadHeader(hfdi->Reader(hf), 0, h);
  if (r != ParseResult::Ok) {
    if (r != ParseResult::NotCabinet)
      hfdi->Fail(FDIERROR_CORRUPT_CABINET, r == ParseResult::Truncated ? erfDetailTruncated : erfDetailBadHeader);
    return false;
  }
  if (info != nullptr) {
    info->cbCabinet = h.cbCabinet;
    info->cFolders = h.cFolders;
    info->cFiles = h.cFiles;
    info->setID = h.setID;
    info->iCabinet = h.iCabinet;
    info->fReserve = (h.flags & kFlagReservePresent) != 0;
    info->hasprev = h.HasPrev();
    info->hasnext = h.HasNext();
  }
  return true;
}

bool FDICopy(HFDI hfdi, const std::string& pszCabinet, const std::string& pszCabPath, int /*flags*/,
             const PFNFDINOTIFY& pfnfdin) {
  if (hfdi == nullptr) return false;
  hfdi->ClearError();
  if (!pfnfdin) return hfdi->Fail(FDIERROR_MDI_FAIL);
  return hfdi->Copy(pszCabinet, pszCabPath, pfnfdin);
}

bool FDIDestroy(HFDI hfdi) {
  if (hfdi == nullptr) return false;
  hfdi->CloseChain();
  {
    TMsCall call(hfdi->io);
    mspack_destroy_cab_decompressor(hfdi->cabd);
  }
  delete hfdi;
  return true;
}

}  // namespace plat::cab
