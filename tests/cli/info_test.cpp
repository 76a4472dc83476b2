// zefa info: blocks, JSON and exit codes.
#include <gtest/gtest.h>

#include <string>

#include "support/testutil.h"

namespace {

int Info(const std::string& args, std::string* out) {
  return testutil::Run(testutil::ShellQuote(testutil::CliPath()) + " info " + args, out);
}

// A gzip member header is enough for detection.
std::string GzipBytes() { return std::string("\x1F\x8B\x08\x00", 4) + std::string(40, 'z'); }

}  // namespace

TEST(CliInfo, TextBlockPerFile) {
  testutil::TempDir dir;
  const std::string gz = dir.file("a.gz");
  const std::string txt = dir.file("plain.txt");
  testutil::WriteFile(gz, GzipBytes());
  testutil::WriteFile(txt, "nothing to see in this file, only words\n");
  std::string out;
  EXPECT_EQ(Info(testutil::ShellQuote(gz) + " " + testutil::ShellQuote(txt), &out), 0);
  EXPECT_NE(out.find(gz), std::string::npos);
  // Types as users name them, never the detector's internal names.
  EXPECT_NE(out.find("Type:       GZIP file"), std::string::npos) << out;
  EXPECT_NE(out.find("Starts at:  byte 0"), std::string::npos) << out;
  EXPECT_NE(out.find("Type:       not an archive"), std::string::npos) << out;
  EXPECT_EQ(out.find("(at"), std::string::npos) << out;
  // A plain ZIP starts at its first byte, whatever its size.
  if (testutil::HaveTool("zip")) {
    testutil::WriteFile(dir.file("big.txt"), testutil::RandomBytes(5000, 1));
    testutil::Run("cd " + testutil::ShellQuote(dir.path()) + " && zip -q -0 p.zip big.txt");
    EXPECT_EQ(Info(testutil::ShellQuote(dir.file("p.zip")), &out), 0);
    EXPECT_NE(out.find("Starts at:  byte 0"), std::string::npos) << out;
  }
}

TEST(CliInfo, JsonObjectsAndExitCodes) {
  testutil::TempDir dir;
  const std::string rar = dir.file("x.r00");
  testutil::WriteFile(rar, std::string("Rar!\x1A\x07\x00", 7) + std::string(40, '\0'));
  std::string out;
  EXPECT_EQ(Info("--json " + testutil::ShellQuote(rar), &out), 0);
  EXPECT_NE(out.find("\"file\": \"" + rar + "\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"type\": \"atRar\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"name\": \"RAR\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"start\": 0"), std::string::npos) << out;
  EXPECT_NE(out.find("\"zipFlags\": 0"), std::string::npos) << out;
  EXPECT_NE(out.find("\"zipOffsetAdjust\": 0"), std::string::npos) << out;
  EXPECT_NE(out.find("\"volumeNumber\": 1"), std::string::npos) << out;
  EXPECT_NE(out.find("\"volumeLetter\": \"r\""), std::string::npos) << out;

  // A missing file or a folder makes the run fail, the others are still shown.
  EXPECT_EQ(Info("--json " + testutil::ShellQuote(rar) + " " + testutil::ShellQuote(dir.file("missing")), &out), 2);
  EXPECT_NE(out.find("atRar"), std::string::npos);
  EXPECT_EQ(Info(testutil::ShellQuote(dir.path()), &out), 2);
  // No file at all is a usage error.
  EXPECT_NE(Info("", &out), 0);
}

TEST(CliInfo, JsonEscapesNames) {
  testutil::TempDir dir;
  const std::string odd = dir.file("q\"uote\tx.gz");
  testutil::WriteFile(odd, GzipBytes());
  std::string out;
  EXPECT_EQ(Info("--json " + testutil::ShellQuote(odd), &out), 0);
  EXPECT_NE(out.find("q\\\"uote\\u0009x.gz"), std::string::npos) << out;
  EXPECT_NE(out.find("atGZip"), std::string::npos) << out;
  if (testutil::HaveTool("python3")) {
    // The whole output parses as JSON.
    testutil::WriteFile(dir.file("out.json"), out);
    EXPECT_EQ(testutil::Run("python3 -c \"import json,sys; json.load(open(sys.argv[1]))\" " +
                            testutil::ShellQuote(dir.file("out.json"))),
              0);
  }
}
