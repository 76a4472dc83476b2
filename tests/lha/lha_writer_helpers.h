// Helpers of the LHA writer tests: a source tree, a configured TLha, a walk
// over the level-0 headers we write (checking each checksum), and peer runs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/zidBytes.h"
#include "engine/lha/zidLha.h"
#include "engine/lha/zidUnLha.h"
#include "support/testutil.h"
#include "support/writer_tree.h"

namespace lhatest {

namespace fs = std::filesystem;
using testutil::ShellQuote;

using testutil::Quiet;
using testutil::Repetitive;
inline std::string MakeTree(const testutil::TempDir& tmp) { return testutil::MakeWriterTree(tmp, true); }

// Adds the files below src (recursively, names relative to src) to arc.
inline int Build(zid::TLha& w, const std::string& arc, const std::string& src) {
  return testutil::AddTree(w, arc, src);
}

// One header as written, read byte by byte.
struct Header {
  int64_t offset = 0;
  std::string method;
  std::string name;
  uint32_t packed = 0;
  uint32_t original = 0;
  uint32_t stamp = 0;  // DOS date-time
  uint8_t attr = 0;
  uint8_t level = 0;
  uint16_t crc = 0;
  size_t size = 0;  // bytes of the header
  bool checksumOk = false;
};

// Walks an archive made of level-0 headers up to the end mark.
inline std::vector<Header> Headers(const std::string& arc) {
  const std::string a = testutil::ReadFile(arc);
  const auto* p = reinterpret_cast<const uint8_t*>(a.data());
  std::vector<Header> out;
  size_t pos = 0;
  while (pos < a.size() && p[pos] != 0) {
    Header h;
    h.offset = static_cast<int64_t>(pos);
    h.size = size_t{p[pos]} + 2;
    if (pos + h.size > a.size() || h.size < 24) {
      ADD_FAILURE() << "header runs past the end at " << pos;
      break;
    }
    const uint8_t* b = p + pos;
    unsigned sum = 0;
    for (size_t i = 2; i < h.size; ++i) sum += b[i];
    h.checksumOk = (sum & 0xFF) == b[1];
    h.method.assign(reinterpret_cast<const char*>(b + 2), 5);
    h.packed = zid::Get32(b + 7);
    h.original = zid::Get32(b + 11);
    h.stamp = zid::Get32(b + 15);
    h.attr = b[19];
    h.level = b[20];
    h.name.assign(reinterpret_cast<const char*>(b + 22), b[21]);
    h.crc = zid::Get16(b + 22 + b[21]);
    out.push_back(h);
    pos += h.size + h.packed;
  }
  return out;
}

inline const Header* Find(const std::vector<Header>& hs, const std::string& name) {
  auto it = std::find_if(hs.begin(), hs.end(), [&](const Header& h) { return h.name == name; });
  return it == hs.end() ? nullptr : &*it;
}

using testutil::Files;

// Extracts arc with our own extractor into dir; returns the entries passed.
inline int Extract(const std::string& arc, const std::string& dir) {
  zid::TUnLha un;
  un.SetArchiveFile(arc);
  un.FileSpec = {"*.*"};
  un.CreateStoredDirs = true;
  fs::create_directories(dir);
  un.SetExtractDir(dir);
  un.Extract();
  return un.Stats().passed;
}

// Extracts arc with a peer into a new folder; returns the command's status.
inline int PeerExtract(const std::string& tool, const std::string& arc, const std::string& dir, std::string* log) {
  fs::create_directories(dir);
  std::string cmd = "cd " + ShellQuote(dir) + " && ";
  if (tool == "lhasa") cmd += "lhasa xq " + ShellQuote(arc);
  if (tool == "7zz") cmd += "7zz x -y " + ShellQuote(arc);
  if (tool == "lha") cmd += "lha xq " + ShellQuote(arc);
  return testutil::Run(cmd + " </dev/null", log);
}

// Tests arc with every peer that is installed (but `skip`); empty when all accept it.
inline std::string PeerTests(const std::string& arc, const std::string& skip = "") {
  std::string failures;
  const std::pair<const char*, const char*> peers[] = {{"lhasa", "lhasa t "}, {"lha", "lha t "}, {"7zz", "7zz t "}};
  for (const auto& [tool, cmd] : peers) {
    if (!testutil::HaveTool(tool) || skip == tool) continue;
    std::string out;
    const int rc = testutil::Run(std::string(cmd) + ShellQuote(arc) + " </dev/null", &out);
    // jlha exits 0 even on a broken archive (and skips a header with a bad checksum): its messages tell.
    bool bad = rc != 0;
    for (const char* word : {"rror", "CRC", "SEVERE", "Exception", "Warning"})
      if (out.find(word) != std::string::npos) bad = true;
    if (bad) failures += std::string(tool) + ": " + out + "\n";
  }
  return failures;
}

}  // namespace lhatest
