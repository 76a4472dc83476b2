#include "support/testutil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace testutil {

TempDir::TempDir() {
  std::string base = std::string(ZEFA_BINARY_DIR) + "/testtmp";
  fs::create_directories(base);
  std::string tmpl = base + "/t-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make everything writable first so read-only entries do not stop the clean-up.
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

void WriteFile(const std::string& path, const std::string& data) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

std::string TextBytes(size_t n, uint32_t seed) {
  static const char* words[] = {"archive ", "zefa ", "deflate ", "entry ", "header ", "the ", "of ",
                                "and ",     "data ", "stream ",  "\n",      "CRC ",    "disk "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += words[rng() % (sizeof(words) / sizeof(words[0]))];
  s.resize(n);
  return s;
}

bool HaveTool(const std::string& name) {
  return Run("command -v " + ShellQuote(name) + " >/dev/null 2>&1") == 0;
}

int Run(const std::string& command, std::string* output) {
  std::string cmd = command + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int st = pclose(p);
  if (output) *output = out;
  if (st == -1) return -1;
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string ShellQuote(const std::string& s) {
  std::string r = "'";
  for (char c : s) {
    if (c == '\'') r += "'\\''";
    else r += c;
  }
  return r + "'";
}

std::string CorpusDir() {
  std::error_code ec;
  fs::path p(ZEFA_CORPUS_DIR);
  if (!fs::is_directory(p, ec)) return std::string();
  return fs::canonical(p, ec).string();
}

std::string CliPath() { return ZEFA_CLI_PATH; }

}  // namespace testutil
