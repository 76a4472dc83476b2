// The one ZIP fixture builder of the tests, and what the ZIP tests share:
// a builder for hand-made (and hostile) archives, a runner that extracts with
// TUnZip under a watchdog and collects what the component reported, memory
// sources and sinks and a bit writer for the decoders, a minimal reader of a
// central directory, and a source tree with a configured TZip for the writer.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/zidBytes.h"
#include "engine/base/zidDecoder.h"
#include "engine/zip/zidUnZip.h"
#include "engine/zip/zidZip.h"
#include "support/memory_decode.h"
#include "support/raw_deflate.h"
#include "support/le_bytes.h"
#include "support/testutil.h"

namespace ziptest {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Building archives

inline uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

using testutil::RawDeflate;

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
  uint16_t dosDate = 0x5A21;    // 2025-01-01
  uint16_t dosTime = 0x6000;    // 12:00
  int64_t localOffset = -1;     // -1: where the local header is written
  bool writeLocal = true;       // false: only a central record (pointing elsewhere)
  std::string centralExtra;
};

using testutil::Put16;
using testutil::Put32;

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
// A declared size, or the data's own when none is declared.
inline uint32_t SizeOr(int64_t declared, const std::string& data) {
  return static_cast<uint32_t>(declared >= 0 ? declared : static_cast<int64_t>(data.size()));
}

inline std::string Build(std::vector<Entry> entries, const std::string& stub = std::string()) {
  std::string out = stub;
  std::vector<uint32_t> offsets;
  for (Entry& e : entries) {
    const uint32_t csize = SizeOr(e.csize, e.data), usize = SizeOr(e.usize, e.data);
    offsets.push_back(static_cast<uint32_t>(out.size() - stub.size()));
    if (!e.writeLocal) continue;
    Put32(out, 0x04034B50);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put16(out, e.dosTime);
    Put16(out, e.dosDate);
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
    const uint32_t csize = SizeOr(e.csize, e.data), usize = SizeOr(e.usize, e.data);
    Put32(out, 0x02014B50);
    Put16(out, e.versionMadeBy);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put16(out, e.dosTime);
    Put16(out, e.dosDate);
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
  std::vector<std::string> extras;  // the texts reported with the codes
  std::vector<std::pair<std::string, bool>> ends;  // entries that decoded (OnEnd, only when wanted)
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
                      zid::TUnZip* component = nullptr, bool testOnly = false) {
  auto job = [&]() {
    Report r;
    zid::TUnZip own;
    zid::TUnZip& un = component ? *component : own;
    un.SetArchiveFile(archive);
    un.SetExtractDir(dir);
    un.FileSpec = {"*.*"};
    un.OnError = [&r](zid::TZipCommon*, const std::string& file, const std::string& ext, const std::string&,
                      int code) {
      r.codes.push_back(code);
      r.errorNames.push_back(file);
      r.extras.push_back(ext);
    };
    if (withOnEnd)
      un.OnEnd = [&r](zid::TZipCommon*, const zid::TEntryReport& e) {
        if (e.verdict == zid::TVerdict::Passed || e.code == zid::E_CRCERROR)
          r.ends.emplace_back(e.storedName, e.verdict == zid::TVerdict::Passed);
      };
    if (setup) setup(un);
    r.count = testOnly ? un.ExtractTest() : un.Extract();
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

// What `zefa t` does: decode and check every entry, store nothing.
inline Report TestArchive(const std::string& archive) {
  return Extract(
      archive, "", [](zid::TUnZip& u) { u.OutputMode = zid::omTest; }, false, nullptr, true);
}

// True when a test of the archive reported nothing and every entry passed:
// what must never happen for a damaged archive.
inline bool TestsClean(const std::string& archive) {
  const Report r = TestArchive(archive);
  return r.codes.empty() && r.stats.failed == 0 && !r.stats.archiveFailed;
}

// ---------------------------------------------------------------------------
// Decoders from memory

using testutil::Decode;
using testutil::Decoded;
using testutil::DecodeFn;
using testutil::MemorySource;

// Writes bits LSB-first, as DEFLATE and its relatives read them.
class BitWriter {
 public:
  void Bits(uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) Bit((value >> i) & 1);
  }
  // A Huffman code: its most significant bit goes first.
  void Code(uint32_t code, unsigned len) {
    for (unsigned i = len; i-- > 0;) Bit((code >> i) & 1);
  }
  void Byte(uint8_t b) { Bits(b, 8); }
  void Align() {
    while (nbits_ != 0) Bit(0);
  }
  std::string Take() {
    Align();
    return out_;
  }

 private:
  void Bit(unsigned b) {
    acc_ |= b << nbits_;
    if (++nbits_ == 8) {
      out_.push_back(static_cast<char>(acc_));
      acc_ = 0;
      nbits_ = 0;
    }
  }
  std::string out_;
  unsigned acc_ = 0, nbits_ = 0;
};

// One entry of a ZIP archive, located through its central directory.
struct ZipEntry {
  std::string name;
  uint16_t flags = 0, method = 0;
  uint32_t crc = 0;
  uint64_t csize = 0, usize = 0;
  std::string data;  // the compressed bytes
};

// Enough of the ZIP layout to reach the data of a plain (unencrypted,
// non-Zip64) archive.
inline std::vector<ZipEntry> ReadZip(const std::string& path) {
  std::vector<ZipEntry> entries;
  std::string z = testutil::ReadFile(path);
  if (z.size() < 22) return entries;
  size_t eocd = std::string::npos;
  for (size_t i = z.size() - 22 + 1; i-- > 0;) {
    if (zid::Get32(z.data() + i) == 0x06054b50) {
      eocd = i;
      break;
    }
  }
  if (eocd == std::string::npos) return entries;
  unsigned count = zid::Get16(z.data() + eocd + 10);
  size_t p = zid::Get32(z.data() + eocd + 16);
  for (unsigned k = 0; k < count && p + 46 <= z.size(); ++k) {
    const char* c = z.data() + p;
    if (zid::Get32(c) != 0x02014b50) break;
    ZipEntry e;
    e.flags = zid::Get16(c + 8);
    e.method = zid::Get16(c + 10);
    e.crc = zid::Get32(c + 16);
    e.csize = zid::Get32(c + 20);
    e.usize = zid::Get32(c + 24);
    unsigned nlen = zid::Get16(c + 28), xlen = zid::Get16(c + 30), clen = zid::Get16(c + 32);
    size_t local = zid::Get32(c + 42);
    e.name.assign(c + 46, nlen);
    if (local + 30 <= z.size()) {
      const char* l = z.data() + local;
      size_t data = local + 30 + zid::Get16(l + 26) + zid::Get16(l + 28);
      if (data + e.csize <= z.size()) e.data = z.substr(data, e.csize);
    }
    entries.push_back(e);
    p += 46 + nlen + xlen + clen;
  }
  return entries;
}

// The corpus ZIP file `name`, or "" when the corpus is absent.
inline std::string CorpusZip(const std::string& name) {
  std::string dir = testutil::CorpusDir();
  return dir.empty() ? std::string() : dir + "/zip/" + name;
}

// ---------------------------------------------------------------------------
// The writer


// Files of every kind the writer must handle, below root/src.
inline std::string MakeTree(const testutil::TempDir& tmp) {
  const std::string src = tmp.file("src");
  fs::create_directories(src + "/sub/deeper");
  fs::create_directories(src + "/empty/inner");
  testutil::WriteFile(src + "/text.txt", testutil::TextBytes(200000, 1));
  testutil::WriteFile(src + "/random.bin", testutil::RandomBytes(70000, 2));
  testutil::WriteFile(src + "/zero.dat", "");
  testutil::WriteFile(src + "/small.txt", "hello hello hello hello hello hello\n");
  testutil::WriteFile(src + "/notes.zip", testutil::TextBytes(5000, 3));
  testutil::WriteFile(src + "/sub/caf\xC3\xA9 \xE2\x82\xAC.txt", testutil::TextBytes(3000, 4));
  testutil::WriteFile(src + "/sub/deeper/d.txt", testutil::TextBytes(10, 5));
  return src;
}

// Writes every file below src into arc (recursively, names relative to src).
inline int Build(zid::TZip& z, const std::string& arc, const std::string& src) {
  z.DeleteOptions = zid::doFinal;
  z.FileSpec = {src + "/*"};
  z.SetArchiveFile(arc);
  return z.Compress();
}

// Extracts arc with our own extractor into dir; returns the entries passed.
inline int ExtractPassed(const std::string& arc, const std::string& dir, const std::string& password = "") {
  zid::TUnZip un;
  un.SetArchiveFile(arc);
  un.FileSpec = {"*.*"};
  un.Password = password;
  un.CreateStoredDirs = true;
  fs::create_directories(dir);
  un.SetExtractDir(dir);
  un.Extract();
  return un.Stats().passed;
}

// True when both trees hold the same files with the same bytes (folders ignored).
inline bool SameFiles(const std::string& a, const std::string& b) {
  std::vector<std::string> fa, fb;
  for (auto& e : fs::recursive_directory_iterator(a))
    if (e.is_regular_file()) fa.push_back(fs::relative(e.path(), a).string());
  for (auto& e : fs::recursive_directory_iterator(b))
    if (e.is_regular_file()) fb.push_back(fs::relative(e.path(), b).string());
  std::sort(fa.begin(), fa.end());
  std::sort(fb.begin(), fb.end());
  if (fa != fb) {
    ADD_FAILURE() << "file lists differ: " << fa.size() << " vs " << fb.size();
    return false;
  }
  for (const auto& f : fa)
    if (testutil::ReadFile(a + "/" + f) != testutil::ReadFile(b + "/" + f)) {
      ADD_FAILURE() << "content differs: " << f;
      return false;
    }
  return true;
}

// One central record as written.
struct Central {
  std::string name;
  uint16_t madeBy, flags, method;
  uint32_t crc, csize, usize, external, offset;
  uint32_t signature;
};

// Walks the central directory named by a plain 22-byte end record at the file's end.
inline std::vector<Central> ReadCentral(const std::string& arc) {
  const std::string d = testutil::ReadFile(arc);
  std::vector<Central> out;
  if (d.size() < 22) return out;
  const char* end = d.data() + d.size() - 22;
  const uint16_t count = zid::Get16(end + 10);
  size_t p = zid::Get32(end + 16);
  for (int i = 0; i < count && p + 46 <= d.size(); ++i) {
    const char* c = d.data() + p;
    Central r{};
    r.signature = zid::Get32(c);
    r.madeBy = zid::Get16(c + 4);
    r.flags = zid::Get16(c + 8);
    r.method = zid::Get16(c + 10);
    r.crc = zid::Get32(c + 16);
    r.csize = zid::Get32(c + 20);
    r.usize = zid::Get32(c + 24);
    const uint16_t n = zid::Get16(c + 28), x = zid::Get16(c + 30), k = zid::Get16(c + 32);
    r.external = zid::Get32(c + 38);
    r.offset = zid::Get32(c + 42);
    r.name = d.substr(p + 46, n);
    out.push_back(r);
    p += 46 + n + x + k;
  }
  return out;
}

inline const Central* FindEntry(const std::vector<Central>& v, const std::string& name) {
  for (const auto& c : v)
    if (c.name == name) return &c;
  return nullptr;
}

}  // namespace ziptest
