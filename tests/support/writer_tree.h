// The source tree of the writer tests, a writer that answers without asking,
// and the files an extraction of its archive gives back.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/zidBase.h"
#include "engine/base/zidCompBase.h"
#include "support/testutil.h"

namespace testutil {

// Long runs with a short period: matches reach their longest.
inline std::string Repetitive(size_t n) {
  std::string s;
  while (s.size() < n) s += std::string(300, 'a') + "0123456789abcdef0123456789abcdef";
  s.resize(n);
  return s;
}

// Below tmp/src: empty, one byte, repetitive and text past 64 KiB and past the
// dictionaries, random, an extension that is always stored, nested folders, a
// non-ASCII name, and (when asked) an empty folder. Eight files.
inline std::string MakeWriterTree(const TempDir& tmp, bool emptyFolder = false) {
  namespace fs = std::filesystem;
  const std::string src = tmp.file("src");
  fs::create_directories(src + "/sub/deeper");
  if (emptyFolder) fs::create_directories(src + "/empty");
  WriteFile(src + "/zero.dat", "");
  WriteFile(src + "/one.txt", "x");
  WriteFile(src + "/repeat.txt", Repetitive(150000));
  WriteFile(src + "/random.bin", RandomBytes(70000, 2));
  WriteFile(src + "/text.txt", TextBytes(200000, 1));
  WriteFile(src + "/notes.zip", TextBytes(5000, 3));
  WriteFile(src + "/sub/caf\xC3\xA9 \xE2\x82\xAC.txt", TextBytes(3000, 4));
  WriteFile(src + "/sub/deeper/d.txt", TextBytes(10, 5));
  return src;
}

// The regular files below a folder with their bytes, by relative path (what
// an extraction of a writer's archive gives back).
inline std::vector<std::pair<std::string, std::string>> Files(const std::string& dir) {
  namespace fs = std::filesystem;
  std::vector<std::pair<std::string, std::string>> out;
  if (!fs::exists(dir)) return out;
  for (auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out.emplace_back(fs::relative(e.path(), dir).string(), ReadFile(e.path().string()));
  std::sort(out.begin(), out.end());
  return out;
}

// Answers a writer's questions without asking: a changed file replaces its
// entry, deleted files go for good; error codes are collected when asked for.
inline void Quiet(zid::TCompBase& w, std::vector<int>* errors = nullptr) {
  w.DeleteOptions = zid::doFinal;
  w.OnReplaceFile = [](zid::TZipCommon*, const std::string&, const std::string&, uint32_t, uint32_t, int64_t,
                       int64_t, uint32_t, uint32_t, bool& replace) { replace = true; };
  w.OnError = [errors](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int code) {
    if (errors) errors->push_back(code);
  };
}

// Adds the files below src (recursively, names relative to src) to arc.
inline int AddTree(zid::TCompBase& w, const std::string& arc, const std::string& src) {
  w.RecurseDirs = true;
  w.FileSpec = {src + "/*"};
  w.SetArchiveFile(arc);
  return w.Compress();
}

}  // namespace testutil
