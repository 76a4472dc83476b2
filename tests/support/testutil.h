// Helpers shared by the test suites.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// A fresh folder under the build's temporary area, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& data);
std::string ReadFile(const std::string& path);
// Deterministic bytes from a fixed seed.
std::string RandomBytes(size_t n, uint32_t seed);
// Text that compresses well.
std::string TextBytes(size_t n, uint32_t seed);

// True when a program of that name is on PATH.
bool HaveTool(const std::string& name);
// Runs a shell command; returns its exit status (-1 when it could not run).
// The output (stdout and stderr) goes to *output when given.
int Run(const std::string& command, std::string* output = nullptr);
std::string ShellQuote(const std::string& s);

// The shared corpus folder, or "" when it is absent.
std::string CorpusDir();
// The zefa command-line tool built alongside the tests.
std::string CliPath();

}  // namespace testutil

// Skip the current test when a peer tool is missing.
#define REQUIRE_TOOL(name)                                              \
  do {                                                                  \
    if (!testutil::HaveTool(name)) GTEST_SKIP() << name " not installed"; \
  } while (0)
