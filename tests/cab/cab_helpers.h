// Shared pieces of the CAB suites: the cabinet library's callbacks over plain
// files, a few byte builders for hand-made cabinets, and the corpus table.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/cab/zidMakeCab.h"
#include "engine/cab/zidUnCab.h"
#include "engine/listing/zidRizER.h"
#include "platform/cabinet/cabformat.h"
#include "platform/codepage.h"
#include "platform/cabinet/fci.h"
#include "platform/cabinet/fdi.h"
#include "support/component_runner.h"
#include "support/le_bytes.h"
#include "support/testutil.h"

namespace cabtest {

namespace cab = plat::cab;

inline int OpenFlags(int oflag) {
  int f = (oflag & cab::kOpenReadWrite) ? O_RDWR : (oflag & cab::kOpenWriteOnly) ? O_WRONLY : O_RDONLY;
  if (oflag & cab::kOpenCreate) f |= O_CREAT;
  if (oflag & cab::kOpenTruncate) f |= O_TRUNC;
  if (oflag & cab::kOpenExclusive) f |= O_EXCL;
  return f;
}

// FDI over the file system; handles are file descriptors.
inline cab::HFDI MakeFdi(cab::ERF* erf) {
  return cab::FDICreate([](size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); },
                        [](const std::string& name, int oflag, int) -> cab::FileHandle {
                          const int fd = ::open(name.c_str(), OpenFlags(oflag), 0644);
                          return fd < 0 ? cab::kNoFile : fd;
                        },
                        [](cab::FileHandle hf, void* b, int64_t n) -> int64_t {
                          return ::read(static_cast<int>(hf), b, static_cast<size_t>(n));
                        },
                        [](cab::FileHandle hf, const void* b, int64_t n) -> int64_t {
                          return ::write(static_cast<int>(hf), b, static_cast<size_t>(n));
                        },
                        [](cab::FileHandle hf) { return ::close(static_cast<int>(hf)); },
                        [](cab::FileHandle hf, int64_t d, int o) -> int64_t {
                          return ::lseek(static_cast<int>(hf), d, o);
                        },
                        cab::cpuUNKNOWN, erf);
}

// FCI over the file system, temporary files in dir.
inline cab::HFCI MakeFci(cab::ERF* erf, const cab::CCAB& ccab, const std::string& dir) {
  return cab::FCICreate(
      erf, nullptr, [](size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); },
      [](const std::string& name, int oflag, int, int& err) -> cab::FileHandle {
        const int fd = ::open(name.c_str(), OpenFlags(oflag), 0644);
        err = fd < 0 ? errno : 0;
        return fd < 0 ? cab::kNoFile : fd;
      },
      [](cab::FileHandle hf, void* b, int64_t n, int&) -> int64_t {
        return ::read(static_cast<int>(hf), b, static_cast<size_t>(n));
      },
      [](cab::FileHandle hf, const void* b, int64_t n, int&) -> int64_t {
        return ::write(static_cast<int>(hf), b, static_cast<size_t>(n));
      },
      [](cab::FileHandle hf, int&) { return ::close(static_cast<int>(hf)); },
      [](cab::FileHandle hf, int64_t d, int o, int&) -> int64_t { return ::lseek(static_cast<int>(hf), d, o); },
      [](const std::string& name, int&) { return ::unlink(name.c_str()); },
      [dir](std::string& name, size_t) {
        static int n = 0;
        name = dir + "/fci" + std::to_string(getpid()) + "_" + std::to_string(++n) + ".tmp";
        return true;
      },
      ccab);
}

// Opens a source for FCIAddFile with a fixed date.
inline cab::PFNFCIGETOPENINFO OpenInfo(uint16_t attribs = cab::kAttrArchive) {
  return [attribs](const std::string& name, uint16_t& date, uint16_t& time, uint16_t& attr, int& err) {
    date = 0x5A21;  // 2025-01-01
    time = 0x6000;  // 12:00:00
    attr = attribs;
    const int fd = ::open(name.c_str(), O_RDONLY);
    err = fd < 0 ? errno : 0;
    return fd < 0 ? cab::kNoFile : static_cast<cab::FileHandle>(fd);
  };
}

// Decodes every file of a cabinet (and the set it starts) into memory:
// stored name -> content. Next cabinets are taken from the same folder.
inline bool ReadAll(const std::string& dir, const std::string& name, std::map<std::string, std::string>& out,
                    cab::ERF* erfOut = nullptr) {
  cab::ERF erf;
  cab::HFDI fdi = MakeFdi(&erf);
  if (fdi == nullptr) return false;
  std::string current;
  std::string cabinet = name;
  bool ok = true;
  std::string next;
  for (int guard = 0; guard < 20 && ok; ++guard) {
    next.clear();
    ok = cab::FDICopy(fdi, cabinet, dir + "/", 0, [&](cab::FDINOTIFICATIONTYPE t, cab::FDINOTIFICATION& n) -> cab::FileHandle {
      if (t == cab::fdintCABINET_INFO) next = n.psz1;
      if (t != cab::fdintCOPY_FILE) return t == cab::fdintCLOSE_FILE_INFO ? 1 : 0;
      const std::string tmp = dir + "/.fdi_out";
      const int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
      const bool good = n.copy(fd);
      ::close(fd);
      if (good) out[n.psz1] = testutil::ReadFile(tmp);
      ::unlink(tmp.c_str());
      return good ? 0 : -1;
    });
    if (!ok || next.empty() || next == cabinet) break;
    cabinet = next;
  }
  if (erfOut) *erfOut = erf;
  cab::FDIDestroy(fdi);
  return ok;
}

// ---- the engine ------------------------------------------------------------------

// What an extraction reported.
struct Extracted {
  int count = 0;
  zid::TUnBase::TStats stats;
  std::vector<int> errors;
  std::vector<std::string> volumesAsked;  // OnNextVolume, in order
};

// Extracts (or tests, when dir is empty) path with FileSpec "*.*"; setup may
// change properties and events after the helper's own.
inline Extracted ExtractCab(const std::string& path, const std::string& dir,
                            const std::function<void(zid::TUnCab&)>& setup = nullptr) {
  Extracted r;
  zid::TUnCab un;
  un.SetArchiveFile(path);
  if (!dir.empty()) {
    ::mkdir(dir.c_str(), 0755);
    un.SetExtractDir(dir);
  }
  un.FileSpec = {"*.*"};
  un.OnError = [&r](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int code) {
    r.errors.push_back(code);
  };
  un.OnNextVolume = [&r](zid::TZipCommon*, std::string& name, int, bool exists, bool& cancel) {
    r.volumesAsked.push_back(name);
    cancel = !exists;
  };
  if (setup) setup(un);
  r.count = dir.empty() ? un.ExtractTest() : un.Extract();
  r.stats = un.Stats();
  return r;
}

struct ListedEntry {
  std::string name;
  int64_t size = 0;
  std::string method;
};

// The directory reader's entries of path, and the codes it reported.
// page: the code page of unmarked names ("": guessed).
inline std::vector<ListedEntry> ListCab(const std::string& path, std::vector<int>* errors = nullptr,
                                        const std::string& page = std::string()) {
  std::vector<ListedEntry> out;
  const std::vector<int> reported = testutil::RunLister(
      path, [&out](const zid::TRizER& s, int) { out.push_back({s.FileName, s.UnpackedSize, s.MethodName}); },
      [&page](zid::TRizER& r) { r.NameCharset = page; }, 0);
  if (errors) errors->insert(errors->end(), reported.begin(), reported.end());
  return out;
}

// cabextract -l of path as (size, name); names as this system shows them:
// cabextract prints names without the UTF-8 mark as their bytes, which read
// as CP437 here.
inline std::vector<ListedEntry> PeerList(const std::string& path) {
  std::string text;
  testutil::Run("cd " + testutil::ShellQuote(path.substr(0, path.rfind('/'))) + " && cabextract -l " +
                    testutil::ShellQuote(path.substr(path.rfind('/') + 1)) + " 2>/dev/null",
                &text);
  std::vector<ListedEntry> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t bar1 = line.find(" | ");
    const size_t bar2 = bar1 == std::string::npos ? bar1 : line.find(" | ", bar1 + 3);
    if (bar2 == std::string::npos || line.find("File size") != std::string::npos) continue;
    ListedEntry e;
    e.size = std::strtoll(line.substr(0, bar1).c_str(), nullptr, 10);
    e.name = line.substr(bar2 + 3);
    if (!plat::IsValidUtf8(e.name)) e.name = plat::OemToAnsi(e.name);
    out.push_back(e);
  }
  return out;
}

// ---- hand-made cabinets -------------------------------------------------------------

using testutil::Put16;
using testutil::Put32;

// A single-folder cabinet of stored blocks, laid out as writers do; the
// fields can be spoiled afterwards for the hostile cases.
struct CabBuilder {
  struct Block {
    std::string data;
    int uncompressed = -1;  // -1: the data's length
    bool badChecksum = false;
  };
  struct File {
    std::string name;
    uint32_t size = 0;
    uint32_t offset = 0;
    uint16_t folder = 0;
    uint16_t attribs = 0x20;
  };
  std::vector<Block> blocks;
  std::vector<File> files;
  uint16_t type = 0;
  uint16_t setID = 1;
  uint16_t index = 0;
  std::string prev, next;
  int extraBlocks = 0;  // blocks the folder claims beyond those present

  // A stored file in blocks of at most 32 KiB.
  void AddStored(const std::string& name, const std::string& data) {
    uint32_t offset = 0;
    for (const Block& b : blocks) offset += static_cast<uint32_t>(b.uncompressed < 0 ? b.data.size() : b.uncompressed);
    files.push_back({name, static_cast<uint32_t>(data.size()), offset, 0, 0x20});
    for (size_t p = 0; p < data.size(); p += 32768) blocks.push_back({data.substr(p, 32768), -1});
  }

  // An MSZIP file (the folder becomes MSZIP): "CK" blocks of at most 32 KiB,
  // each deflated by zlib with the 32 KiB before it as its dictionary
  // (history: a dictionary for the first block, which readers do not have).
  void AddMsZip(const std::string& name, const std::string& data, const std::string& history = "") {
    type = cab::tcompTYPE_MSZIP;
    files.push_back({name, static_cast<uint32_t>(data.size()), 0, 0, 0x20});
    for (size_t p = 0; p < data.size(); p += 32768) {
      const std::string dict = p == 0 ? history : data.substr(p - 32768, 32768);
      const std::string in = data.substr(p, 32768);
      z_stream z{};
      deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
      if (!dict.empty()) deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dict.data()), static_cast<uInt>(dict.size()));
      std::string out(deflateBound(&z, in.size()) + 2, '\0');
      out[0] = 'C';
      out[1] = 'K';
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
      z.avail_in = static_cast<uInt>(in.size());
      z.next_out = reinterpret_cast<Bytef*>(out.data() + 2);
      z.avail_out = static_cast<uInt>(out.size() - 2);
      deflate(&z, Z_FINISH);
      out.resize(out.size() - z.avail_out);
      deflateEnd(&z);
      blocks.push_back({out, static_cast<int>(in.size())});
    }
  }

  std::string Bytes() const {
    std::string names;
    uint16_t flags = 0;
    if (!prev.empty()) {
      flags |= 1;
      names += prev + '\0' + '\0';
    }
    if (!next.empty()) {
      flags |= 2;
      names += next + '\0' + '\0';
    }
    std::string fileRecs;
    for (const File& f : files) {
      Put32(fileRecs, f.size);
      Put32(fileRecs, f.offset);
      Put16(fileRecs, f.folder);
      Put16(fileRecs, 0x5A21);
      Put16(fileRecs, 0x6000);
      Put16(fileRecs, f.attribs);
      fileRecs += f.name + '\0';
    }
    std::string data;
    for (const Block& b : blocks) {
      const auto cb = static_cast<uint16_t>(b.data.size());
      const auto ub = static_cast<uint16_t>(b.uncompressed < 0 ? b.data.size() : b.uncompressed);
      Put32(data, cab::BlockChecksum(reinterpret_cast<const uint8_t*>(b.data.data()), cb, ub) ^ (b.badChecksum ? 1 : 0));
      Put16(data, cb);
      Put16(data, ub);
      data += b.data;
    }
    const uint32_t header = 36 + static_cast<uint32_t>(names.size());
    const uint32_t dataStart = header + 8 + static_cast<uint32_t>(fileRecs.size());
    std::string out = "MSCF";
    Put32(out, 0);
    Put32(out, dataStart + static_cast<uint32_t>(data.size()));
    Put32(out, 0);
    Put32(out, header + 8);
    Put32(out, 0);
    out += static_cast<char>(3);
    out += static_cast<char>(1);
    Put16(out, 1);
    Put16(out, static_cast<uint16_t>(files.size()));
    Put16(out, flags);
    Put16(out, setID);
    Put16(out, index);
    out += names;
    Put32(out, dataStart);
    Put16(out, static_cast<uint16_t>(blocks.size() + extraBlocks));
    Put16(out, type);
    return out + fileRecs + data;
  }
};

}  // namespace cabtest
