// The frame of the walker harnesses: the fuzz input goes to a scratch file
// with the format's extension, the directory reader walks it (the walk must
// end, and the totals must agree with what was reported), and, when an
// extractor is given, the extractor runs over it in test mode (nothing is
// written) with its tally consistent.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/zidUnBase.h"
#include "engine/listing/zidRizER.h"

namespace fuzzrizer {

inline void Quiet(zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {}

// Writes the input to /tmp/<name>.<pid><ext>; false when it cannot.
inline bool WriteScratch(const char* name, const char* ext, const uint8_t* data, size_t size, std::string& path) {
  if (path.empty()) path = std::string("/tmp/") + name + "." + std::to_string(static_cast<long>(getpid())) + ext;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  return true;
}

// Walks the file; traps when the reported entries disagree with the totals
// (with exactCount, when they are not as many as the files counted). setup
// adjusts the reader after the file is set.
inline void Walk(const std::string& path, bool showDirs, const std::function<void(zid::TRizER&)>& setup = nullptr,
                 bool exactCount = false) {
  zid::TRizER r;
  r.SetArchiveFile(path);
  r.FileSpec = {"*.*"};
  r.ShowEmptyDirs = showDirs;
  int64_t unpacked = 0;
  int reported = 0;
  r.OnRead = [&](zid::TZipCommon* s, int, int) {
    unpacked += s->UnpackedSize;
    ++reported;
  };
  r.OnCorruptZipHeader = [](zid::TZipCommon*, uint8_t, bool& cancel) { cancel = false; };
  r.OnError = Quiet;
  if (setup) setup(r);
  r.Activate();
  if (!showDirs && (exactCount ? reported != r.FileCount : reported > r.FileCount)) __builtin_trap();
  if (!showDirs && unpacked != r.TotalUnpackedSize) __builtin_trap();
  std::vector<std::string> names;
  r.GetFileList(&names);
}

// The extractor in test mode; traps when its tally counts more than it listed.
template <class TExtractor>
void ExtractTest(const std::string& path, const std::string& password = "fuzz") {
  TExtractor un;
  un.SetArchiveFile(path);
  un.FileSpec = {"*.*"};
  un.Password = password;
  un.OnError = Quiet;
  un.ExtractTest();
  const auto& st = un.Stats();
  if (st.passed + st.failed + st.skipped > st.listed) __builtin_trap();
}

}  // namespace fuzzrizer
