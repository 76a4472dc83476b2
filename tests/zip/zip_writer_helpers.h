// Helpers of the writer tests: a source tree, a configured TZip, our own
// extraction of the result, and a reader of the central directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/zidBytes.h"
#include "engine/zip/zidUnZip.h"
#include "engine/zip/zidZip.h"
#include "support/testutil.h"

namespace ziptest {

namespace fs = std::filesystem;

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
inline int Extract(const std::string& arc, const std::string& dir, const std::string& password = "") {
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
