// WinZip AES: 7-Zip's archives extract, ours pass 7-Zip's test, and a wrong
// password or a changed byte leaves no file behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/base/Err_Msgs.h"
#include "engine/zip/zidAes.h"
#include "support/testutil.h"
#include "zip_fixture.h"

using namespace zid;
using namespace ziptest;
using testutil::ShellQuote;

namespace {

struct AesCase {
  const char* label;
  bool byPeer;   // made by 7zz, else by TZip
  int strength;  // 1, 2, 3
};
const AesCase kCases[] = {{"peer128", true, 1}, {"peer256", true, 3},
                          {"ours128", false, 1}, {"ours192", false, 2}, {"ours256", false, 3}};

// Files with data (an empty file is never encrypted: it comes out anyway).
int FilesBelow(const std::string& dir) {
  int n = 0;
  if (fs::exists(dir))
    for (auto& e : fs::recursive_directory_iterator(dir)) n += e.is_regular_file() && e.file_size() > 0;
  return n;
}

}  // namespace

class Aes : public ::testing::TestWithParam<AesCase> {};

TEST_P(Aes, RoundTripsWithPeersAndRefusesWrongPasswordsAndChangedData) {
  const AesCase& c = GetParam();
  REQUIRE_TOOL("7zz");
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  const std::string arc = tmp.file("a.zip");
  std::string out;
  if (c.byPeer) {
    const std::string m = c.strength == 1 ? "AES128" : "AES256";
    ASSERT_EQ(testutil::Run("cd " + ShellQuote(src) + " && 7zz a -tzip -mem=" + m + " -pX " + ShellQuote(arc) + " .",
                            &out), 0) << out;
  } else {
    TZip z;
    z.Password = "X";
    ASSERT_TRUE(z.SetCipher(c.strength));
    Build(z, arc, src);
    EXPECT_EQ(testutil::Run("7zz t -pX " + ShellQuote(arc), &out), 0) << out;
    const std::string slt = testutil::Run("7zz l -slt -pX " + ShellQuote(arc), &out) == 0 ? out : "";
    EXPECT_NE(slt.find("AES-" + std::to_string(64 + 64 * c.strength)), std::string::npos) << slt;
  }
  EXPECT_GE(ExtractPassed(arc, tmp.file("right"), "X"), 7);
  EXPECT_TRUE(SameFiles(src, tmp.file("right")));

  Report wrong = Extract(arc, tmp.file("wrong"), [](TUnZip& u) { u.Password = "Y"; });
  EXPECT_EQ(FilesBelow(tmp.file("wrong")), 0);
  EXPECT_TRUE(wrong.has(E_PASSWORDFAILED));

  // A bit of text.txt's MAC changed: the data decodes, the MAC check keeps the file out.
  std::string bytes = testutil::ReadFile(arc);
  const auto central = ReadCentral(arc);
  const Central* t = FindEntry(central, "text.txt");
  ASSERT_NE(t, nullptr);
  const size_t data = t->offset + 30 + Get16(bytes.data() + t->offset + 26) + Get16(bytes.data() + t->offset + 28);
  bytes[data + t->csize - 1] ^= 1;
  testutil::WriteFile(tmp.file("changed.zip"), bytes);
  Report changed = Extract(tmp.file("changed.zip"), tmp.file("changed"), [](TUnZip& u) { u.Password = "X"; });
  EXPECT_FALSE(fs::exists(tmp.file("changed/text.txt")));
  EXPECT_EQ(FilesBelow(tmp.file("changed")), 5);
  EXPECT_TRUE(changed.has(E_CRCERROR));
}

INSTANTIATE_TEST_SUITE_P(All, Aes, ::testing::ValuesIn(kCases), [](const auto& info) { return info.param.label; });
