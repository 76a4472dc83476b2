// Helpers of the extraction tests: a ZIP builder for hand-made (and hostile)
// archives, and a runner that extracts with TUnZip under a 10 s watchdog and
// collects what the component reported.
#pragma once

#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/zidBytes.h"
#include "engine/zip/zidUnZip.h"
#include "support/testutil.h"

namespace unziptest {

inline uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

inline std::string RawDeflate(const std::string& data, int level = 6) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// One entry as it goes into the archive; the sizes default to the data's.
struct Entry {
  std::string name;
  std::string data;  // as stored (compressed, enciphered)
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t crc = 0;
  int64_t usize = -1;           // -1: data.size()
  int64_t csize = -1;           // -1: data.size()
  uint32_t externalAttr = 0x20;
  uint16_t versionMadeBy = 20;
  int64_t localOffset = -1;     // -1: where the local header is written
  bool writeLocal = true;       // false: only a central record (pointing elsewhere)
  std::string centralExtra;
};

inline void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v));
  Put16(s, static_cast<uint16_t>(v >> 16));
}

// A stored or deflated entry of plain data with the right CRC.
inline Entry Plain(const std::string& name, const std::string& content, bool deflate = false) {
  Entry e;
  e.name = name;
  e.data = deflate ? RawDeflate(content) : content;
  e.method = deflate ? 8 : 0;
  e.crc = Crc(content);
  e.usize = static_cast<int64_t>(content.size());
  return e;
}

// Builds the archive: local headers and data, central directory, end record.
// `stub` goes in front without the offsets counting it.
inline std::string Build(std::vector<Entry> entries, const std::string& stub = std::string()) {
  std::string out = stub;
  std::vector<uint32_t> offsets;
  for (Entry& e : entries) {
    const uint32_t csize = static_cast<uint32_t>(e.csize >= 0 ? e.csize : static_cast<int64_t>(e.data.size()));
    const uint32_t usize = static_cast<uint32_t>(e.usize >= 0 ? e.usize : static_cast<int64_t>(e.data.size()));
    offsets.push_back(static_cast<uint32_t>(out.size() - stub.size()));
    if (!e.writeLocal) continue;
    Put32(out, 0x04034B50);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put16(out, 0x6000);  // 12:00
    Put16(out, 0x5A21);  // 2025-01-01
    Put32(out, e.crc);
    Put32(out, csize);
    Put32(out, usize);
    Put16(out, static_cast<uint16_t>(e.name.size()));
    Put16(out, 0);
    out += e.name;
    out += e.data;
  }
  const uint32_t dirStart = static_cast<uint32_t>(out.size() - stub.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const uint32_t csize = static_cast<uint32_t>(e.csize >= 0 ? e.csize : static_cast<int64_t>(e.data.size()));
    const uint32_t usize = static_cast<uint32_t>(e.usize >= 0 ? e.usize : static_cast<int64_t>(e.data.size()));
    Put32(out, 0x02014B50);
    Put16(out, e.versionMadeBy);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put16(out, 0x6000);
    Put16(out, 0x5A21);
    Put32(out, e.crc);
    Put32(out, csize);
    Put32(out, usize);
    Put16(out, static_cast<uint16_t>(e.name.size()));
    Put16(out, static_cast<uint16_t>(e.centralExtra.size()));
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 1);
    Put32(out, e.externalAttr);
    Put32(out, e.localOffset >= 0 ? static_cast<uint32_t>(e.localOffset) : offsets[i]);
    out += e.name;
    out += e.centralExtra;
  }
  const uint32_t dirSize = static_cast<uint32_t>(out.size() - stub.size() - dirStart);
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint16_t>(entries.size()));
  Put16(out, static_cast<uint16_t>(entries.size()));
  Put32(out, dirSize);
  Put32(out, dirStart);
  Put16(out, 0);
  return out;
}

// What one extraction reported.
struct Report {
  int count = 0;
  std::vector<int> codes;
  std::vector<std::string> errorNames;
  std::vector<std::pair<std::string, bool>> ends;  // only when OnEnd is wanted
  zid::TUnBase::TStats stats;
  bool has(int code) const {
    for (int c : codes)
      if (c == code) return true;
    return false;
  }
};

// Extracts `archive` into `dir` with TUnZip (configured by `setup`), under a
// 10 s watchdog: a decode that hangs aborts the test binary.
inline Report Extract(const std::string& archive, const std::string& dir,
                      const std::function<void(zid::TUnZip&)>& setup = nullptr, bool withOnEnd = false,
                      zid::TUnZip* component = nullptr) {
  auto job = [&]() {
    Report r;
    zid::TUnZip own;
    zid::TUnZip& un = component ? *component : own;
    un.SetArchiveFile(archive);
    un.SetExtractDir(dir);
    un.FileSpec = {"*.*"};
    un.OnError = [&r](zid::TZipCommon*, const std::string& file, const std::string&, const std::string&, int code) {
      r.codes.push_back(code);
      r.errorNames.push_back(file);
    };
    if (withOnEnd)
      un.OnEnd = [&r](zid::TZipCommon*, const std::string& file, bool pass) { r.ends.emplace_back(file, pass); };
    if (setup) setup(un);
    r.count = un.Extract();
    r.stats = un.Stats();
    return r;
  };
  auto fut = std::async(std::launch::async, job);
  if (fut.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    std::fprintf(stderr, "extraction of %s did not end within 10 s\n", archive.c_str());
    std::abort();
  }
  return fut.get();
}

}  // namespace unziptest
