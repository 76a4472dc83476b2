// CAB creation through the write loop: cabinets the peers accept and read
// back byte for byte, the method settings, and the writer's refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "cab_helpers.h"

namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string>& Sources() {
  static const std::map<std::string, std::string> files = {
      {"a.txt", testutil::TextBytes(100000, 11)},
      {"sub/b.bin", testutil::RandomBytes(70000, 12)},
      {"café.txt", "accented name"},
      {"empty", ""},
  };
  return files;
}

// Writes the sources under dir/src and makes dir/<name> with the method;
// returns Compress's count.
int MakeCab(const testutil::TempDir& dir, const std::string& name, zid::TCompressMethod method,
            std::vector<int>* errors = nullptr, const std::function<void(zid::TMakeCab&)>& setup = nullptr) {
  fs::create_directories(dir.file("src/sub"));
  for (const auto& [n, data] : Sources()) testutil::WriteFile(dir.file("src/" + n), data);
  zid::TMakeCab w;
  w.SetCompressMethod(method);
  w.RecurseDirs = true;
  w.OnError = [errors](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int code) {
    if (errors) errors->push_back(code);
  };
  if (setup) setup(w);
  const std::string cwd = fs::current_path().string();
  fs::current_path(dir.file("src"));
  w.FileSpec = {"*.*"};
  w.SetArchiveFile(dir.file(name));
  const int n = w.Compress();
  fs::current_path(cwd);
  return n;
}

std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) out[fs::relative(e.path(), root).string()] = testutil::ReadFile(e.path().string());
  return out;
}

class MakeCabPeers : public ::testing::TestWithParam<zid::TCompressMethod> {};

TEST_P(MakeCabPeers, PeersAcceptAndReadBack) {
  testutil::TempDir dir;
  ASSERT_EQ(MakeCab(dir, "out.cab", GetParam()), 4);
  const std::string cab = testutil::ShellQuote(dir.file("out.cab"));
  std::string out;
  std::map<std::string, std::string> got;
  ASSERT_TRUE(cabtest::ReadAll(dir.path(), "out.cab", got));
  EXPECT_EQ(got.size(), 4u);
  // Our own extractor.
  const cabtest::Extracted r = cabtest::ExtractCab(dir.file("out.cab"), dir.file("zefa"));
  EXPECT_EQ(r.stats.passed, 4);
  EXPECT_TRUE(Tree(dir.file("zefa")) == Sources());
  if (testutil::HaveTool("cabextract")) {
    EXPECT_EQ(testutil::Run("cabextract -t " + cab, &out), 0) << out;
    EXPECT_EQ(testutil::Run("cabextract -q -d " + testutil::ShellQuote(dir.file("ce")) + " " + cab, &out), 0) << out;
    EXPECT_TRUE(Tree(dir.file("ce")) == Sources());
  }
  if (testutil::HaveTool("gcab")) {
    // gcab -t only lists; listing and extraction stand for a test.
    EXPECT_EQ(testutil::Run("gcab -l " + cab, &out), 0) << out;
    EXPECT_NE(out.find("sub\\b.bin"), std::string::npos) << out;
    EXPECT_EQ(testutil::Run("gcab -x -C " + testutil::ShellQuote(dir.file("gc")) + " " + cab, &out), 0) << out;
    EXPECT_TRUE(Tree(dir.file("gc")) == Sources());
  }
  if (testutil::HaveTool("7zz")) {
    EXPECT_EQ(testutil::Run("cd " + testutil::ShellQuote(dir.path()) + " && 7zz x -o7z " + cab, &out), 0) << out;
    EXPECT_TRUE(Tree(dir.file("7z")) == Sources());
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, MakeCabPeers, ::testing::Values(zid::cmStore, zid::cmMsZip));

// Adding to a cabinet keeps what it held (the command line adds path by path).
TEST(MakeCab, AddingKeepsExistingEntries) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.file("one.txt"), "one");
  testutil::WriteFile(dir.file("two.txt"), testutil::TextBytes(50000, 3));
  zid::TMakeCab w;
  w.StoredDirNames = zid::sdNone;
  w.FileSpec = {dir.file("one.txt")};
  w.SetArchiveFile(dir.file("x.cab"));
  ASSERT_EQ(w.Compress(), 1);
  w.FileSpec = {dir.file("two.txt")};
  w.SetArchiveFile(dir.file("x.cab"));
  ASSERT_EQ(w.Compress(), 1);
  std::map<std::string, std::string> got;
  ASSERT_TRUE(cabtest::ReadAll(dir.path(), "x.cab", got));
  EXPECT_EQ(got, (std::map<std::string, std::string>{{"one.txt", "one"}, {"two.txt", testutil::TextBytes(50000, 3)}}));
}

// The settings' clamps and the compression values they give.
TEST(MakeCab, MethodSettingsAndValues) {
  zid::TMakeCab w;
  EXPECT_EQ(w.GetCompressMethod(), zid::cmMsZip);
  w.SetCompressMethod(zid::cmDeflate);  // not a cabinet method: ignored
  EXPECT_EQ(w.GetCompressMethod(), zid::cmMsZip);
  const struct {
    void (zid::TMakeCab::*set)(int);
    int (zid::TMakeCab::*get)() const;
    int value, expected;
  } clamps[] = {{&zid::TMakeCab::SetLzxLevel, &zid::TMakeCab::GetLzxLevel, 10, 15},
                {&zid::TMakeCab::SetLzxLevel, &zid::TMakeCab::GetLzxLevel, 30, 21},
                {&zid::TMakeCab::SetQuantumLevel, &zid::TMakeCab::GetQuantumLevel, 0, 1},
                {&zid::TMakeCab::SetQuantumMemory, &zid::TMakeCab::GetQuantumMemory, 5, 10}};
  for (const auto& c : clamps) {
    (w.*c.set)(c.value);
    EXPECT_EQ((w.*c.get)(), c.expected);
  }
  zid::TMakeCab v;
  v.SetCompressMethod(zid::cmLzx);
  EXPECT_EQ(v.CompressionValue(), 0x1503);
  v.SetCompressMethod(zid::cmQuantum);
  EXPECT_EQ(v.CompressionValue(), 0x1571);
  v.SetCompressMethod(zid::cmStore);
  EXPECT_EQ(v.CompressionValue(), 0);
}

// Methods the library does not produce fail file by file with 25326 and
// leave no cabinet; swDelete and a read-only cabinet leave it unchanged.
TEST(MakeCab, RefusalsLeaveTheCabinetAlone) {
  for (zid::TCompressMethod m : {zid::cmLzx, zid::cmQuantum}) {
    testutil::TempDir dir;
    std::vector<int> errors;
    EXPECT_EQ(MakeCab(dir, "x.cab", m, &errors), 0);
    EXPECT_FALSE(fs::exists(dir.file("x.cab")));
    EXPECT_EQ(std::count(errors.begin(), errors.end(), zid::E_UNSUPPORTEDMETHOD), 4);
  }
  testutil::TempDir dir;
  ASSERT_EQ(MakeCab(dir, "x.cab", zid::cmMsZip), 4);
  const std::string before = testutil::ReadFile(dir.file("x.cab"));
  std::vector<int> errors;
  EXPECT_EQ(MakeCab(dir, "x.cab", zid::cmMsZip, &errors, [](zid::TMakeCab& w) { w.Switch = zid::swDelete; }), 0);
  EXPECT_EQ(errors, std::vector<int>{zid::E_BADARCTYPE});
  EXPECT_EQ(testutil::ReadFile(dir.file("x.cab")), before);

  ::chmod(dir.file("x.cab").c_str(), 0444);
  errors.clear();
  testutil::WriteFile(dir.file("src/new.txt"), "new");
  EXPECT_EQ(MakeCab(dir, "x.cab", zid::cmMsZip, &errors), 0);
  ::chmod(dir.file("x.cab").c_str(), 0644);
  EXPECT_NE(std::find(errors.begin(), errors.end(), zid::E_WRITEERROR), errors.end());
  EXPECT_EQ(testutil::ReadFile(dir.file("x.cab")), before);

  // One file more than the cabinet may hold (the limit lowered from 65,535):
  // refused before anything is written, in one report.
  errors.clear();
  EXPECT_EQ(MakeCab(dir, "x.cab", zid::cmMsZip, &errors, [](zid::TMakeCab& w) { w.MaxFiles = 4; }), 0);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), zid::E_FORMATLIMIT), 1);
  EXPECT_EQ(testutil::ReadFile(dir.file("x.cab")), before);
}

// A non-ASCII name is stored in UTF-8 and marked so.
TEST(MakeCab, NonAsciiNamesCarryTheUtfAttribute) {
  testutil::TempDir dir;
  ASSERT_EQ(MakeCab(dir, "x.cab", zid::cmStore), 4);
  cabtest::cab::CabHeader h;
  std::vector<cabtest::cab::CabFolder> folders;
  std::vector<cabtest::cab::CabFile> files;
  const std::string bytes = testutil::ReadFile(dir.file("x.cab"));
  auto read = [&bytes](int64_t pos, void* buf, int64_t n) -> int64_t {
    if (pos >= static_cast<int64_t>(bytes.size())) return 0;
    n = std::min<int64_t>(n, static_cast<int64_t>(bytes.size()) - pos);
    std::memcpy(buf, bytes.data() + pos, static_cast<size_t>(n));
    return n;
  };
  ASSERT_EQ(cabtest::cab::ReadDirectory(read, 0, h, folders, files), cabtest::cab::ParseResult::Ok);
  for (const auto& f : files)
    EXPECT_EQ((f.attribs & cabtest::cab::kAttrNameIsUtf) != 0, !plat::IsAscii(f.name)) << f.name;
}

}  // namespace
