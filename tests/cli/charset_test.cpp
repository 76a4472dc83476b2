// Names stored without a mark of their encoding: the archive's code page is
// guessed from all its names, or given with --charset; a byte the page cannot
// map is shown as %XX.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <filesystem>

#include "lha/unlha_helpers.h"
#include "support/testutil.h"
#include "zip/zip_fixture.h"

using testutil::ShellQuote;

namespace {

// The stored bytes of a name, made by glibc's iconv directly.
std::string Encode(const std::string& utf8, const std::string& page) {
  iconv_t cd = iconv_open(page.c_str(), "UTF-8");
  std::string out(utf8.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size(), outLeft = out.size();
  char* o = out.data();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  EXPECT_NE(r, static_cast<size_t>(-1)) << utf8 << " has no form in " << page;
  out.resize(out.size() - outLeft);
  return out;
}

enum class Kind { Zip, Lha0, Lha1, Tar };
const char* KindName(Kind k) {
  switch (k) {
    case Kind::Zip: return "zip";
    case Kind::Lha0: return "lha level 0";
    case Kind::Lha1: return "lha level 1";
    case Kind::Tar: return "tar";
  }
  return "";
}

// One archive per format with these stored names (no UTF-8 flag, no Unicode
// field), each entry holding "data <i>".
std::string MakeArchive(const testutil::TempDir& dir, Kind kind, const std::vector<std::string>& raw) {
  std::string bytes;
  switch (kind) {
    case Kind::Zip: {
      std::vector<ziptest::Entry> entries;
      for (size_t i = 0; i < raw.size(); ++i) entries.push_back(ziptest::Plain(raw[i], "data " + std::to_string(i)));
      testutil::WriteFile(dir.file("a.zip"), ziptest::Build(entries));
      return dir.file("a.zip");
    }
    case Kind::Lha0:
    case Kind::Lha1:
      for (size_t i = 0; i < raw.size(); ++i) {
        std::string name = raw[i];
        std::replace(name.begin(), name.end(), '/', '\\');
        bytes += unlhatest::Stored(name, "data " + std::to_string(i), kind == Kind::Lha0 ? 0 : 1);
      }
      testutil::WriteFile(dir.file("a.lzh"), bytes + std::string(1, '\0'));
      return dir.file("a.lzh");
    case Kind::Tar: {
      // Python's tarfile with latin-1 stores the bytes as they are.
      std::string hex;
      for (const std::string& n : raw) {
        for (unsigned char c : n) {
          char b[3];
          std::snprintf(b, sizeof b, "%02x", c);
          hex += b;
        }
        hex += ' ';
      }
      const std::string tar = dir.file("a.tar");
      const std::string py =
          "import tarfile,io,sys\n"
          "t=tarfile.open(sys.argv[1],'w',format=tarfile.USTAR_FORMAT,encoding='latin-1')\n"
          "for i,h in enumerate(sys.argv[2:]):\n"
          " d=('data %d'%i).encode(); ti=tarfile.TarInfo(bytes.fromhex(h).decode('latin-1')); ti.size=len(d)\n"
          " t.addfile(ti,io.BytesIO(d))\n"
          "t.close()\n";
      testutil::WriteFile(dir.file("mk.py"), py);
      EXPECT_EQ(testutil::Run("python3 " + ShellQuote(dir.file("mk.py")) + " " + ShellQuote(tar) + " " + hex), 0);
      return tar;
    }
  }
  return std::string();
}

int Zefa(const std::string& args, std::string* out) {
  return testutil::Run(ShellQuote(testutil::CliPath()) + " " + args + " 2>&1", out);
}

// The values of one key of zefa l --json, in order.
std::vector<std::string> JsonValues(const std::string& json, const std::string& key) {
  std::vector<std::string> v;
  const std::string k = "\"" + key + "\": \"";
  for (size_t p = json.find(k); p != std::string::npos; p = json.find(k, p + 1)) {
    const size_t from = p + k.size();
    v.push_back(json.substr(from, json.find('"', from) - from));
  }
  return v;
}

struct Case {
  const char* page;                // the page the names are stored in
  std::vector<std::string> names;  // UTF-8
  const char* guessed;             // the page zefa must report ("" for plain ASCII: none)
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"CP866", {"Отчет.doc", "Письмо/Привет.txt"}, "CP866"},
      {"CP850", {"Conceição.txt", "Ønske/København.doc"}, "CP850"},
      {"CP932", {"日本語.txt", "テスト/ファイル.doc"}, "CP932"},
      // second bytes that are "\\" in ASCII (表 95 5C, ソ 83 5C, 能 94 5C): no folder separators
      {"SHIFT_JIS", {"表示.txt", "ソフト/能力表.doc"}, "CP932"},
      {"GBK", {"中文文件.txt", "测试/文档.doc"}, "GB18030"},
      {"CP1251", {"Привет.txt", "Документы/отчёт.doc"}, "CP1251"},
      // ASCII names beside two DOS Russian ones, and names that read the same in CP437.
      {"CP866", {"readme.txt", "ОТЧЕТ.TXT", "ФАЙЛ.DOC"}, "CP866"},
      {"CP437", {"Café.txt", "Über/Straße.doc"}, "CP437"},
      {"CP437", {"plain.txt", "dir/b.doc"}, ""},
  };
  return cases;
}

}  // namespace

TEST(CliCharset, LegacyNamesListAndExtractUnderTheirNames) {
  for (Kind kind : {Kind::Zip, Kind::Lha0, Kind::Lha1, Kind::Tar}) {
    for (const Case& c : Cases()) {
      SCOPED_TRACE(std::string(KindName(kind)) + " in " + c.page + ": " + c.names[0]);
      testutil::TempDir dir;
      std::vector<std::string> raw;
      for (const std::string& n : c.names) raw.push_back(Encode(n, c.page));
      const std::string arc = MakeArchive(dir, kind, raw);
      for (const std::string& charset : {std::string(), std::string(" --charset ") + c.page}) {
        std::string out;
        ASSERT_EQ(Zefa("l --json" + charset + " " + ShellQuote(arc), &out), 0) << out;
        EXPECT_EQ(JsonValues(out, "name"), c.names) << out;
        const std::vector<std::string> pages = JsonValues(out, "charset");
        if (*c.guessed == '\0') {
          EXPECT_TRUE(pages.empty()) << out;
        } else if (charset.empty()) {
          ASSERT_FALSE(pages.empty()) << out;
          EXPECT_EQ(pages[0], c.guessed) << out;
        }
        // Masks select by the names as shown.
        const std::string last = c.names.back().substr(c.names.back().rfind('/') + 1);
        ASSERT_EQ(Zefa("l --json" + charset + " " + ShellQuote(arc) + " " + ShellQuote("*" + last), &out), 0) << out;
        EXPECT_EQ(JsonValues(out, "name"), std::vector<std::string>{c.names.back()}) << out;

        const std::string target = dir.file(charset.empty() ? "guessed" : "given");
        ASSERT_EQ(Zefa("x" + charset + " " + ShellQuote(arc) + " -o " + ShellQuote(target), &out), 0) << out;
        for (size_t i = 0; i < c.names.size(); ++i)
          EXPECT_EQ(testutil::ReadFile(target + "/" + c.names[i]), "data " + std::to_string(i)) << c.names[i];
      }
    }
  }
}

TEST(CliCharset, UnmappableBytesAreEscapedAndNothingClimbsOut) {
  struct Escape {
    std::string raw;
    const char* page;
    std::string shown;
  };
  const std::vector<Escape> cases = {
      {"a\x81" "b.txt", "CP1252", "a%81b.txt"},              // a hole of the page
      {"x\xC4", "GBK", "x%C4"},                              // a lead byte without its trail
      {"\x95\x5C.txt", "CP932", "表.txt"},                    // a trail byte that is "\" in ASCII
      {"..\x81/..\x81.txt", "CP1252", "..%81/..%81.txt"},    // no escape makes a ".."
  };
  for (const Escape& e : cases) {
    SCOPED_TRACE(e.shown);
    testutil::TempDir dir;
    const std::string arc = MakeArchive(dir, Kind::Zip, {e.raw});
    std::string out;
    ASSERT_EQ(Zefa("l --json -O " + std::string(e.page) + " " + ShellQuote(arc), &out), 0) << out;
    EXPECT_EQ(JsonValues(out, "name"), std::vector<std::string>{e.shown}) << out;
    ASSERT_EQ(Zefa("x -O " + std::string(e.page) + " " + ShellQuote(arc) + " -o " + ShellQuote(dir.file("o")), &out), 0)
        << out;
    EXPECT_EQ(testutil::ReadFile(dir.file("o/" + e.shown)), "data 0");
  }
}

TEST(CliCharset, AnUnknownCharsetIsRefused) {
  testutil::TempDir dir;
  const std::string arc = MakeArchive(dir, Kind::Zip, {"a.txt"});
  for (const char* cmd : {"l", "t", "x"}) {
    std::string out;
    EXPECT_EQ(Zefa(std::string(cmd) + " --charset NO-SUCH-PAGE " + ShellQuote(arc), &out), 2) << cmd;
    EXPECT_NE(out.find("NO-SUCH-PAGE is not a character set zefa knows"), std::string::npos) << out;
  }
}

TEST(CliCharset, NamesAsUnarReadsThem) {
  REQUIRE_TOOL("lsar");
  testutil::TempDir dir;
  const Case& c = Cases()[0];
  std::vector<std::string> raw;
  for (const std::string& n : c.names) raw.push_back(Encode(n, c.page));
  const std::string arc = MakeArchive(dir, Kind::Zip, raw);
  std::string peer, ours;
  ASSERT_EQ(testutil::Run("lsar -e " + std::string(c.page) + " " + ShellQuote(arc), &peer), 0) << peer;
  ASSERT_EQ(Zefa("l --json " + ShellQuote(arc), &ours), 0) << ours;
  for (const std::string& name : JsonValues(ours, "name")) EXPECT_NE(peer.find(name), std::string::npos) << peer;
}

TEST(CliCharset, WritersStoreNamesInTheChosenPageOrRefuseThem) {
  testutil::TempDir dir;
  const std::vector<std::string> names = {"Отчет.doc", "Письмо.txt"};
  for (size_t i = 0; i < names.size(); ++i) testutil::WriteFile(dir.file(names[i]), "data " + std::to_string(i));
  const std::string in = "cd " + ShellQuote(dir.path()) + " && ";
  for (const char* arc : {"dos.zip", "dos.lzh", "dos.bh", "dos.cab"}) {
    SCOPED_TRACE(arc);
    std::string out;
    ASSERT_EQ(testutil::Run(in + ShellQuote(testutil::CliPath()) + " a --charset CP866 " + arc + " " + names[0] + " " +
                                names[1] + " 2>&1", &out), 0) << out;
    ASSERT_EQ(Zefa("l --json " + ShellQuote(dir.file(arc)), &out), 0) << out;
    EXPECT_EQ(JsonValues(out, "name"), names) << out;
    EXPECT_EQ(JsonValues(out, "charset"), (std::vector<std::string>{"CP866", "CP866"})) << out;
  }
  // As DOS tools expect them: the page's bytes, no UTF-8 flag, made on MS-DOS.
  const std::vector<ziptest::Central> central = ziptest::ReadCentral(dir.file("dos.zip"));
  ASSERT_EQ(central.size(), 2u);
  EXPECT_EQ(central[0].name, Encode(names[0], "CP866"));
  EXPECT_EQ(central[0].flags & 0x0800, 0);
  EXPECT_EQ(central[0].madeBy >> 8, 0);
  if (testutil::HaveTool("lsar")) {
    std::string peer;
    ASSERT_EQ(testutil::Run("lsar -e CP866 " + ShellQuote(dir.file("dos.zip")), &peer), 0) << peer;
    EXPECT_NE(peer.find(names[1]), std::string::npos) << peer;
  }

  // A name the page cannot hold is named, and nothing is written.
  testutil::WriteFile(dir.file("日本.txt"), "x");
  std::string out;
  EXPECT_NE(testutil::Run(in + ShellQuote(testutil::CliPath()) + " a --charset CP866 no.zip " + names[0] +
                              " 日本.txt 2>&1", &out), 0);
  EXPECT_NE(out.find("日本.txt"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir.file("no.zip")));
}
