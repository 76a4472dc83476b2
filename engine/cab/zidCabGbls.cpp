#include "engine/cab/zidCabGbls.h"

#include <vector>

#include "engine/base/zidByteSource.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidNames.h"
#include "platform/cabinet/cabformat.h"
#include "platform/cabinet/cabinet.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace cab = plat::cab;

ECabinetError::ECabinetError(int errorCode, int errorType)
    : std::runtime_error("Cabinet error " + std::to_string(errorCode) + " (type " + std::to_string(errorType) + ")"),
      errorCode_(errorCode),
      errorType_(errorType) {}

bool& CabinetLibraryPresent() {
  static bool present = true;
  return present;
}

// ---------------------------------------------------------------------------
// The handle table

TStreamCabinetFileHandler::~TStreamCabinetFileHandler() { CloseAll(); }

void TStreamCabinetFileHandler::MapStream(const std::string& name, TStream32* stream, int64_t base) {
  streams_[name] = {stream, base};
}

void TStreamCabinetFileHandler::MapOffset(const std::string& name, int64_t base) { offsets_[name] = base; }

void TStreamCabinetFileHandler::ClearMaps() {
  streams_.clear();
  offsets_.clear();
}

void TStreamCabinetFileHandler::CloseAll() { open_.clear(); }

TStreamCabinetFileHandler::TOpenFile* TStreamCabinetFileHandler::Find(intptr_t hf) {
  auto it = open_.find(hf);
  return it == open_.end() ? nullptr : &it->second;
}

intptr_t TStreamCabinetFileHandler::Open(const std::string& name, int oflag, int, int& err) {
  TOpenFile f;
  auto mapped = streams_.find(name);
  if (mapped != streams_.end()) {
    f.stream = mapped->second.first;
    f.base = mapped->second.second;
    if (oflag & (cab::kOpenCreate | cab::kOpenTruncate)) f.stream->SetSize(f.base);
    f.stream->Seek(f.base, plat::soFromBeginning);
  } else {
    int mode = plat::fmCreate;
    if ((oflag & cab::kOpenCreate) == 0) {
      const int access = (oflag & cab::kOpenReadWrite)   ? plat::fmOpenReadWrite
                         : (oflag & cab::kOpenWriteOnly) ? plat::fmOpenWrite
                                                         : plat::fmOpenRead;
      mode = access | ((oflag & cab::kOpenExclusive) ? plat::fmShareDenyWrite : plat::fmShareDenyNone);
    }
    f.owned = std::make_unique<TFileStream32>(name, mode);
    if (!f.owned->IsOpen()) {
      err = -1;
      return cab::kNoFile;
    }
    f.stream = f.owned.get();
    auto offset = offsets_.find(name);
    if (offset != offsets_.end() && offset->second > 0) {
      f.base = offset->second;
      f.stream->Seek(f.base, plat::soFromBeginning);
    }
  }
  err = 0;
  const intptr_t hf = nextHandle_++;
  open_.emplace(hf, std::move(f));
  return hf;
}

int64_t TStreamCabinetFileHandler::Read(intptr_t hf, void* buffer, int64_t count, int& err) {
  TOpenFile* f = Find(hf);
  if (f == nullptr || count < 0) {
    err = -1;
    return 0;
  }
  plat::SetLastError(0);
  const int64_t n = f->stream->Read(buffer, count);
  err = n == count ? 0 : plat::LastError();
  return n;
}

int64_t TStreamCabinetFileHandler::Write(intptr_t hf, const void* buffer, int64_t count, int& err) {
  TOpenFile* f = Find(hf);
  if (f == nullptr || count < 0) {
    err = -1;
    return 0;
  }
  plat::SetLastError(0);
  const int64_t n = f->stream->Write(buffer, count);
  err = n == count ? 0 : plat::LastError();
  if (n != count && err == 0) err = -1;
  return n;
}

int TStreamCabinetFileHandler::Close(intptr_t hf, int& err) {
  if (open_.erase(hf) == 0) {
    err = -1;
    return -1;
  }
  err = 0;
  return 0;
}

int64_t TStreamCabinetFileHandler::Seek(intptr_t hf, int64_t distance, int origin, int& err) {
  TOpenFile* f = Find(hf);
  if (f == nullptr) {
    err = -1;
    return -1;
  }
  err = 0;
  int64_t pos;
  if (origin == plat::soFromBeginning) {
    if (distance < 0) {
      err = -1;
      return -1;
    }
    plat::SetLastError(0);
    pos = f->stream->Seek(f->base + distance, plat::soFromBeginning);
    if (pos != f->base + distance) err = plat::LastError() != 0 ? plat::LastError() : -1;
  } else {
    pos = f->stream->Seek(distance, origin == plat::soFromCurrent ? plat::soFromCurrent : plat::soFromEnd);
  }
  if (pos < f->base) return -1;
  return pos - f->base;
}

int TStreamCabinetFileHandler::Delete(const std::string& name, int& err) {
  if (streams_.count(name) != 0 || offsets_.count(name) != 0) {
    err = -1;
    return -1;
  }
  plat::SetLastError(0);
  if (!plat::DeleteFile(name)) {
    err = plat::LastError() != 0 ? plat::LastError() : -1;
    return -1;
  }
  err = 0;
  return 0;
}

// ---------------------------------------------------------------------------
// Names

std::string CabEntryName(const std::string& raw, uint16_t attribs, bool translateOem) {
  TNameOrigin origin;
  origin.utf8 = (attribs & cab::kAttrNameIsUtf) != 0;
  origin.translateOem = translateOem;
  return DecodeEntryName(raw, origin);
}

std::string NextCabinetPath(const std::string& currentCabinet, const std::string& storedNextName) {
  const std::string name = cab::CabinetFileName(storedNextName);
  if (name.empty() || name == "." || name == "..") return std::string();
  if (plat::SameText(name, plat::ExtractFileName(currentCabinet))) return std::string();
  return ResolveCabinetName(plat::ExtractFilePath(currentCabinet), name);
}

std::string ResolveCabinetName(const std::string& folder, const std::string& name) {
  std::string path = folder + name;
  if (!plat::FileExists(path)) {
    std::vector<plat::FindData> entries;
    if (plat::ListDirectory(folder.empty() ? "." : folder, entries))
      for (const plat::FindData& e : entries)
        if ((e.attr & plat::faDirectory) == 0 && plat::SameText(e.name, name)) {
          path = folder + e.name;
          break;
        }
  }
  return path;
}

namespace {
bool CabProbeCheck(TByteSource& src, int64_t start) {
  uint8_t h[36];
  if (src.ReadAt(start, h, sizeof h) != sizeof h) return false;
  const uint32_t size = Get32(h + 8), files = Get32(h + 16);
  return Get32(h + 4) == 0 && Get32(h + 12) == 0 && Get32(h + 20) == 0 && h[24] == 3 && h[25] == 1 &&
         Get16(h + 26) > 0 && Get16(h + 28) > 0 && Get16(h + 30) <= 7 && size >= 44 &&
         start + int64_t{size} <= src.Size() && files >= 36 && files < size;
}
}  // namespace

const TProbe kCabProbe = {"MSCF", 4, 0, CabProbeCheck};

}  // namespace zid
