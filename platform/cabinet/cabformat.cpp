#include "platform/cabinet/cabformat.h"

#include <cstring>

namespace plat::cab {

namespace {

void Put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool ReadFull(const ReadAtFn& read, int64_t pos, void* buf, int64_t n) { return n == 0 || read(pos, buf, n) == n; }

// A NUL-terminated string of at most kMaxNameLength bytes at pos.
ParseResult ReadString(const ReadAtFn& read, int64_t& pos, std::string& out) {
  uint8_t buf[kMaxNameLength + 1];
  const int64_t got = read(pos, buf, sizeof buf);
  if (got <= 0) return ParseResult::Truncated;
  const void* nul = std::memchr(buf, 0, static_cast<size_t>(got));
  if (nul == nullptr) return got < static_cast<int64_t>(sizeof buf) ? ParseResult::Truncated : ParseResult::Corrupt;
  const size_t len = static_cast<size_t>(static_cast<const uint8_t*>(nul) - buf);
  out.assign(reinterpret_cast<const char*>(buf), len);
  pos += static_cast<int64_t>(len) + 1;
  return ParseResult::Ok;
}

}  // namespace

uint32_t CabHeader::Size() const {
  uint32_t n = kHeaderFixedSize;
  if (flags & kFlagReservePresent) n += 4 + cbCFHeader;
  if (flags & kFlagPrevCabinet) n += static_cast<uint32_t>(prevCabinet.size() + prevDisk.size() + 2);
  if (flags & kFlagNextCabinet) n += static_cast<uint32_t>(nextCabinet.size() + nextDisk.size() + 2);
  return n;
}

int CabFile::FolderIndex(uint16_t cFolders) const {
  switch (iFolder) {
    case kFolderContinuedFromPrev:
    case kFolderContinuedPrevAndNext:
      return 0;
    case kFolderContinuedToNext:
      return cFolders > 0 ? cFolders - 1 : 0;
    default:
      return iFolder;
  }
}

ParseResult ReadHeader(const ReadAtFn& read, int64_t base, CabHeader& h) {
  uint8_t b[kHeaderFixedSize];
  const int64_t got = read(base, b, kHeaderFixedSize);
  if (got < 4 || Get32(b) != kSignature) return got < 4 && got > 0 ? ParseResult::Truncated : ParseResult::NotCabinet;
  if (got < kHeaderFixedSize) return ParseResult::Truncated;
  h = CabHeader{};
  h.cbCabinet = Get32(b + 8);
  h.coffFiles = Get32(b + 16);
  h.versionMinor = b[24];
  h.versionMajor = b[25];
  h.cFolders = Get16(b + 26);
  h.cFiles = Get16(b + 28);
  h.flags = Get16(b + 30);
  h.setID = Get16(b + 32);
  h.iCabinet = Get16(b + 34);
  if (h.versionMajor != kVersionMajor) return ParseResult::NotCabinet;
  int64_t pos = base + kHeaderFixedSize;
  if (h.flags & kFlagReservePresent) {
    uint8_t r[4];
    if (!ReadFull(read, pos, r, 4)) return ParseResult::Truncated;
    h.cbCFHeader = Get16(r);
    h.cbCFFolder = r[2];
    h.cbCFData = r[3];
    if (h.cbCFHeader > kMaxHeaderReserve) return ParseResult::Corrupt;
    pos += 4;
    h.headerReserve.resize(h.cbCFHeader);
    if (!ReadFull(read, pos, h.headerReserve.data(), h.cbCFHeader)) return ParseResult::Truncated;
    pos += h.cbCFHeader;
  }
  ParseResult r = ParseResult::Ok;
  if (h.flags & kFlagPrevCabinet) {
    if ((r = ReadString(read, pos, h.prevCabinet)) != ParseResult::Ok) return r;
    if ((r = ReadString(read, pos, h.prevDisk)) != ParseResult::Ok) return r;
  }
  if (h.flags & kFlagNextCabinet) {
    if ((r = ReadString(read, pos, h.nextCabinet)) != ParseResult::Ok) return r;
    if ((r = ReadString(read, pos, h.nextDisk)) != ParseResult::Ok) return r;
  }
  if (h.cFiles > 0 && h.cFolders == 0) return ParseResult::Corrupt;
  h.foldersOffset = static_cast<uint32_t>(pos - base);
  h.filesOffset = h.foldersOffset + static_cast<uint32_t>(h.cFolders) * static_cast<uint32_t>(h.FolderRecordSize());
  return ParseResult::Ok;
}

ParseResult ReadFolder(const ReadAtFn& read, int64_t base, const CabHeader& h, int index, CabFolder& f) {
  if (index < 0 || index >= h.cFolders) return ParseResult::Corrupt;
  uint8_t b[kFolderFixedSize];
  const int64_t pos = base + h.foldersOffset + static_cast<int64_t>(index) * h.FolderRecordSize();
  if (!ReadFull(read, pos, b, kFolderFixedSize)) return ParseResult::Truncated;
  f.coffCabStart = Get32(b);
  f.cCFData = Get16(b + 4);
  f.typeCompress = Get16(b + 6);
  return ParseResult::Ok;
}

ParseResult ReadFileRecord(const ReadAtFn& read, int64_t pos, CabFile& f, int64_t& next) {
  uint8_t b[kFileFixedSize];
  if (!ReadFull(read, pos, b, kFileFixedSize)) return ParseResult::Truncated;
  f.cbFile = Get32(b);
  f.uoffFolderStart = Get32(b + 4);
  f.iFolder = Get16(b + 8);
  f.date = Get16(b + 10);
  f.time = Get16(b + 12);
  f.attribs = Get16(b + 14);
  next = pos + kFileFixedSize;
  return ReadString(read, next, f.name);
}

ParseResult ReadDirectory(const ReadAtFn& read, int64_t base, CabHeader& h, std::vector<CabFolder>& folders,
                          std::vector<CabFile>& files) {
  ParseResult r = ReadHeader(read, base, h);
  if (r != ParseResult::Ok) return r;
  folders.assign(h.cFolders, CabFolder{});
  for (int i = 0; i < h.cFolders; ++i)
    if ((r = ReadFolder(read, base, h, i, folders[static_cast<size_t>(i)])) != ParseResult::Ok) return r;
  files.clear();
  files.reserve(h.cFiles);
  int64_t pos = base + h.filesOffset;
  for (int i = 0; i < h.cFiles; ++i) {
    CabFile f;
    if ((r = ReadFileRecord(read, pos, f, pos)) != ParseResult::Ok) return r;
    if (f.iFolder < kFolderContinuedFromPrev && f.iFolder >= h.cFolders) return ParseResult::Corrupt;
    files.push_back(std::move(f));
  }
  return ParseResult::Ok;
}

uint32_t Checksum(const uint8_t* p, size_t n, uint32_t seed) {
  uint32_t csum = seed;
  size_t words = n / 4;
  for (; words > 0; --words, p += 4) csum ^= Get32(p);
  uint32_t tail = 0;
  switch (n % 4) {
    case 3: tail |= static_cast<uint32_t>(*p++) << 16; [[fallthrough]];
    case 2: tail |= static_cast<uint32_t>(*p++) << 8; [[fallthrough]];
    case 1: tail |= *p; break;
    default: break;
  }
  return csum ^ tail;
}

uint32_t BlockChecksum(const uint8_t* data, uint16_t cbData, uint16_t cbUncomp) {
  const uint8_t sizes[4] = {static_cast<uint8_t>(cbData & 0xFF), static_cast<uint8_t>(cbData >> 8),
                            static_cast<uint8_t>(cbUncomp & 0xFF), static_cast<uint8_t>(cbUncomp >> 8)};
  return Checksum(sizes, 4, Checksum(data, cbData, 0));
}

std::string HeaderBytes(const CabHeader& h) {
  std::string s;
  Put32(s, kSignature);
  Put32(s, 0);
  Put32(s, h.cbCabinet);
  Put32(s, 0);
  Put32(s, h.coffFiles);
  Put32(s, 0);
  s.push_back(static_cast<char>(h.versionMinor));
  s.push_back(static_cast<char>(h.versionMajor));
  Put16(s, h.cFolders);
  Put16(s, h.cFiles);
  Put16(s, h.flags);
  Put16(s, h.setID);
  Put16(s, h.iCabinet);
  if (h.flags & kFlagReservePresent) {
    Put16(s, h.cbCFHeader);
    s.push_back(static_cast<char>(h.cbCFFolder));
    s.push_back(static_cast<char>(h.cbCFData));
    std::string reserve = h.headerReserve;
    reserve.resize(h.cbCFHeader, '\0');
    s += reserve;
  }
  auto putName = [&s](const std::string& n) {
    s += n.substr(0, kMaxNameLength);
    s.push_back('\0');
  };
  if (h.flags & kFlagPrevCabinet) {
    putName(h.prevCabinet);
    putName(h.prevDisk);
  }
  if (h.flags & kFlagNextCabinet) {
    putName(h.nextCabinet);
    putName(h.nextDisk);
  }
  return s;
}

std::string FolderBytes(const CabFolder& f, uint8_t reserve) {
  std::string s;
  Put32(s, f.coffCabStart);
  Put16(s, f.cCFData);
  Put16(s, f.typeCompress);
  s.append(reserve, '\0');
  return s;
}

std::string FileBytes(const CabFile& f) {
  std::string s;
  Put32(s, f.cbFile);
  Put32(s, f.uoffFolderStart);
  Put16(s, f.iFolder);
  Put16(s, f.date);
  Put16(s, f.time);
  Put16(s, f.attribs);
  s += f.name.substr(0, kMaxNameLength);
  s.push_back('\0');
  return s;
}

std::string DataHeaderBytes(uint32_t csum, uint16_t cbData, uint16_t cbUncomp, uint8_t reserve) {
  std::string s;
  Put32(s, csum);
  Put16(s, cbData);
  Put16(s, cbUncomp);
  s.append(reserve, '\0');
  return s;
}

std::string CabinetFileName(const std::string& stored) {
  const size_t slash = stored.find_last_of("/\\:");
  return slash == std::string::npos ? stored : stored.substr(slash + 1);
}

}  // namespace plat::cab
