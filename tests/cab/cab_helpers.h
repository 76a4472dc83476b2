// Shared pieces of the CAB suites: the cabinet library's callbacks over plain
// files, a few byte builders for hand-made cabinets, and the corpus table.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/cabinet/cabformat.h"
#include "platform/cabinet/fci.h"
#include "platform/cabinet/fdi.h"
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

}  // namespace cabtest
