// LHA extraction and listing: every corpus sample with its CRC verdict and
// its listing against the peer's, archives made by the lha tool, archives
// built here for the header rules, and hostile or truncated archives.
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "engine/base/Err_Msgs.h"
#include "platform/datetime.h"
#include "unlha_helpers.h"

using namespace unlhatest;
using testutil::ReadFile;
using testutil::ShellQuote;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

namespace fs = std::filesystem;

// (name, size) of each entry in a `lha -v` listing; symbolic links by their own name.
std::vector<std::pair<std::string, int64_t>> PeerListing(const std::string& listFile) {
  std::vector<std::pair<std::string, int64_t>> out;
  std::istringstream in(ReadFile(listFile));
  std::string line;
  int rules = 0;
  while (std::getline(in, line)) {
    if (line.compare(0, 10, "----------") == 0) {
      ++rules;
      continue;
    }
    if (rules != 1) continue;
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string t; words >> t;) w.push_back(t);
    size_t m = 3;
    while (m < w.size() && !(w[m].size() == 5 && w[m][0] == '-' && w[m][4] == '-')) ++m;
    if (m + 5 >= w.size()) continue;
    // the name is what follows method, CRC and the three date words
    size_t at = line.find(w[m + 4], line.find(w[m]) + 5) + w[m + 4].size() + 1;
    std::string name = line.substr(at);
    name = name.substr(0, std::min(name.find('|'), name.find('\0')));
    out.emplace_back(name, std::stoll(w[m - 2]));
  }
  return out;
}

int64_t MTime(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

}  // namespace

TEST(LhaCorpus, EverySampleChecksAndListsAsThePeerDoes) {
  const std::string dir = testutil::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  struct Known {
    const char* file;
    int failed;
    int error;
  };
  // Entries that fail on purpose, and why.
  const Known known[] = {
      {"lhark04d__lh7.lzh", 1, zid::E_BADBLOCK},            // LHARK's own -lh7-, not the LHA method
      {"regression__truncated.lzh", 1, zid::E_READERROR},   // the data is cut short
      {"unlha32__lh2.lzh", 1, zid::E_UNSUPPORTEDMETHOD},    // -lh2-, -lh3-: never widely used
      {"unlha32__lh3.lzh", 1, zid::E_UNSUPPORTEDMETHOD},
      {"regression__dotdot.lzh", 0, zid::E_BADFILENAME},    // names that climb out of the target: cut
  };
  // Self-extractors the detector does not take for LHA archives.
  const std::vector<std::string> undetected = {"larc333__sfx.com", "lhmelt_16536__sfx_winsfx_213.exe"};
  // Names the peer shows otherwise: in another code page, with control
  // characters, with "\\" kept, or (its fault) an Amiga folder without its "/".
  const std::vector<std::string> ownNames = {"libarchive__filename_cp932.lzh", "libarchive__filename_utf16.lzh",
                                             "regression__badterm.lzh",        "lh2_222__eas.lzh",
                                             "lha_amiga_122__level1.lzh",      "lha_amiga_122__level2.lzh"};
  int samples = 0;
  for (const auto& f : fs::directory_iterator(dir + "/lha")) {
    const std::string file = f.path().filename().string();
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".txt") == 0) continue;
    SCOPED_TRACE(file);
    if (std::find(undetected.begin(), undetected.end(), file) != undetected.end()) continue;
    ++samples;
    const std::string path = f.path().string();
    const Report r = Extract(path, "");
    int failed = 0, error = 0;
    for (const Known& k : known)
      if (file == k.file) failed = k.failed, error = k.error;
    EXPECT_EQ(r.stats.failed, failed);
    EXPECT_FALSE(r.stats.archiveFailed);
    if (error) {
      EXPECT_TRUE(r.Has(error));
    }
    const Listing l = List(path);
    EXPECT_TRUE(l.errors.empty());
    // every entry listed is tested (symbolic links pass a test)
    const int links = static_cast<int>(std::count(r.errors.begin(), r.errors.end(), zid::E_UNKNOWNFILETYPE));
    EXPECT_GE(r.stats.passed + r.stats.failed + links, 1);
    EXPECT_EQ(r.stats.passed + r.stats.failed, static_cast<int>(l.entries.size()) - links);

    const auto peer = PeerListing(path + ".list.txt");
    if (peer.empty() || std::find(ownNames.begin(), ownNames.end(), file) != ownNames.end()) continue;
    std::vector<std::pair<std::string, int64_t>> ours;
    for (const Listed& e : l.entries) ours.emplace_back(e.name, e.unpacked);
    EXPECT_EQ(ours, peer);
  }
  EXPECT_GE(samples, 80);
}

TEST(LhaPeer, ArchivesMadeByLhaExtractByteExact) {
  REQUIRE_TOOL("lha");
  TempDir d;
  const std::string src = d.file("src");
  fs::create_directories(src + "/sub/deep");
  WriteFile(src + "/text.txt", testutil::TextBytes(300000, 1));
  WriteFile(src + "/random.bin", testutil::RandomBytes(90000, 2));
  WriteFile(src + "/empty.txt", "");
  WriteFile(src + "/sub/deep/runs.bin", std::string(70000, 'r') + testutil::TextBytes(140000, 3));
  const std::vector<std::string> files = {"text.txt", "random.bin", "empty.txt", "sub/deep/runs.bin"};
  // method 5, 6, 7 (or stored) crossed with header levels 0, 1, 2
  for (const char* opt : {"c0o5", "c1o6", "c2o7", "c0o7", "c1o5", "c2o6", "c2z"}) {
    SCOPED_TRACE(opt);
    const std::string arc = d.file(std::string(opt) + ".lzh");
    ASSERT_EQ(testutil::Run("cd " + ShellQuote(d.path()) + " && lha " + opt + " " + ShellQuote(arc) +
                            " src >/dev/null 2>&1"),
              0);
    const std::string out = d.file(std::string("out_") + opt);
    const Report r = Extract(arc, out, [](zid::TUnLha& u) { u.CreateStoredDirs = true; });
    EXPECT_TRUE(r.errors.empty()) << r.text;
    EXPECT_EQ(r.stats.failed, 0);
    for (const std::string& f : files) EXPECT_TRUE(ReadFile(out + "/src/" + f) == ReadFile(src + "/" + f)) << f;
    const Listing l = List(arc);
    std::vector<std::string> names;
    for (const Listed& e : l.entries) names.push_back(e.name);
    EXPECT_NE(std::find(names.begin(), names.end(), "src/sub/deep/runs.bin"), names.end());
  }
}


TEST(LhaBuilt, HeaderRulesOfTheWriters) {
  auto entry = [](int level, const std::string& name, const std::string& data, uint8_t os = 'M') {
    Entry e;
    e.level = level;
    e.name = name;
    e.packed = e.original = data;
    e.osId = os;
    return e;
  };
  const uint32_t unixTime = 1262304000;  // 2010-01-01 00:00 UTC
  struct Case {
    const char* what;
    std::string archive;
    std::string file;      // expected below the output folder
    std::string content;
    int64_t mtime = -1;    // expected modification time, when checked
    int mode = -1;         // expected permission bits, when checked
  };
  std::vector<Case> cases;
  cases.push_back({"128-byte prefix", std::string(128, '\0') + Stored("after.txt", "prefixed"), "after.txt",
                   "prefixed"});
  {
    Entry e = entry(1, "file.txt", "in a folder");
    e.exts.push_back({2, "dir\xFFsub"});
    cases.push_back({"level-1 folder extension", Header(e), "dir/sub/file.txt", "in a folder"});
  }
  for (uint8_t os : {'M', 'U'}) {
    Entry e = entry(2, os == 'M' ? "m.txt" : "u.txt", "level two");
    e.time = unixTime;
    e.osId = os;
    cases.push_back({"level-2 Unix time", Header(e), e.name, "level two", unixTime});
  }
  {
    Entry e = entry(0, "dos.txt", "dos time");
    cases.push_back({"level-0 DOS time", Header(e), "dos.txt", "dos time", plat::DosDateTimeToUnix(e.time)});
  }
  {
    Entry e = entry(1, "mode.sh", "#!/bin/sh\n", 'U');
    std::string mode;
    Put16(mode, 0104755);  // setuid is never restored
    e.exts.push_back({0x50, mode});
    cases.push_back({"Unix permissions", Header(e), "mode.sh", "#!/bin/sh\n", -1, 0755});
  }
  cases.push_back({"empty stored file", Stored("empty.txt", ""), "empty.txt", ""});
  cases.push_back({"backslash separator", Stored("a\\b.txt", "1"), "a/b.txt", "1"});
  cases.push_back({"0xFF separator", Stored("c\xFF" "d.txt", "2"), "c/d.txt", "2"});
  cases.push_back({"CP437 name", Stored("\x81" "ber.txt", "3"), "\xC3\xBC" "ber.txt", "3"});
  cases.push_back({"UTF-8 name", Stored("\xC3\xA9t\xC3\xA9.txt", "4", 2), "\xC3\xA9t\xC3\xA9.txt", "4"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    WriteFile(d.file("a.lzh"), c.archive + std::string(1, '\0'));
    const Report r = Extract(d.file("a.lzh"), d.file("out"));
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.stats.passed, 1);
    const std::string out = d.file("out/" + c.file);
    EXPECT_TRUE(fs::is_regular_file(out));
    EXPECT_EQ(ReadFile(out), c.content);
    if (c.mtime >= 0) {
      EXPECT_EQ(MTime(out), c.mtime);
    }
    if (c.mode >= 0) {
      EXPECT_EQ(static_cast<int>(fs::status(out).permissions() & fs::perms::all), c.mode);
    }
  }
}

TEST(LhaBuilt, FoldersAndLinks) {
  Entry dir;
  dir.method = "-lhd-";
  dir.name = "made\\";
  Entry link;
  link.method = "-lhd-";
  link.name = "link|/etc/passwd";
  TempDir d;
  WriteFile(d.file("a.lzh"), Header(dir) + Header(link) + Stored("made\\in.txt", "x"));
  for (bool create : {false, true}) {
    SCOPED_TRACE(create);
    const std::string out = d.file(create ? "with" : "without");
    const Report r = Extract(d.file("a.lzh"), out, [create](zid::TUnLha& u) {
      u.CreateStoredDirs = create;
      u.UseStoredDirs = true;
    });
    EXPECT_TRUE(fs::is_directory(out + "/made"));  // made for its file either way
    EXPECT_TRUE(r.Has(zid::E_BADFILENAME));  // the link points outside: reported, not made
    EXPECT_FALSE(fs::exists(fs::symlink_status(out + "/link")));
    EXPECT_EQ(r.stats.failed, 1);
  }
  TempDir e;
  WriteFile(e.file("b.lzh"), Header(dir));
  Extract(e.file("b.lzh"), e.file("no"));
  EXPECT_FALSE(fs::exists(e.file("no/made")));
  Extract(e.file("b.lzh"), e.file("yes"), [](zid::TUnLha& u) { u.CreateStoredDirs = true; });
  EXPECT_TRUE(fs::is_directory(e.file("yes/made")));
}

TEST(LhaHostile, DamagedHeadersAndDataEndCleanly) {
  const std::string good = Stored("good.txt", "good data");
  auto with = [](const std::function<void(Entry&)>& change) {
    Entry e;
    e.name = "bad.txt";
    e.packed = e.original = "bad data";
    change(e);
    return Header(e);
  };
  struct Case {
    const char* what;
    std::string archive;
    int error;
    int passed;
  };
  const Case cases[] = {
      {"header size 21", good + with([](Entry& e) { e.name = ""; e.sizeAdjust = -1; }), zid::E_BADFILEHEADER, 1},
      {"level 4", good + with([](Entry& e) { e.level = 4; }), zid::E_BADFILEHEADER, 1},
      {"name past the header", good + with([](Entry& e) { e.sizeAdjust = -3; }), zid::E_BADFILEHEADER, 1},
      {"extension of 2 bytes", good + with([](Entry& e) { e.level = 2; }).replace(24, 2, std::string("\x02\x00", 2)),
       zid::E_BADFILEHEADER, 1},
      {"level-2 extension past the header", good + with([](Entry& e) {
         e.level = 2;
         e.sizeAdjust = -4;
       }),
       zid::E_BADFILEHEADER, 1},
      {"level-1 extensions past the end", good + with([](Entry& e) {
         e.level = 1;
         e.exts.push_back({0x3F, std::string(50, 'c')});
       }).substr(0, good.size() + 40),
       zid::E_READERROR, 1},
      {"unknown method", with([](Entry& e) { e.method = "-lh9-"; }) + good, zid::E_UNSUPPORTEDMETHOD, 1},
      {"malformed method", good + with([](Entry& e) { e.method = "-lh5x"; }), zid::E_UNSUPPORTEDMETHOD, 1},
      {"wrong CRC", with([](Entry& e) { e.crcAdjust = 1; }) + good, zid::E_CRCERROR, 1},
      {"bad -lh5- data", with([](Entry& e) {
         e.method = "-lh5-";
         e.packed = std::string(40, '\xFF');
       }) + good,
       zid::E_BADBLOCK, 1},
      {"stored data cut short", good + with([](Entry& e) { e.packed = e.original = std::string(100, 'd'); })
                                          .substr(0, good.size() + 40),
       zid::E_READERROR, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    WriteFile(d.file("h.lzh"), c.archive);
    const Report r = Extract(d.file("h.lzh"), d.file("out"));
    if (c.error) {
      EXPECT_TRUE(r.Has(c.error));
    }
    EXPECT_EQ(r.stats.passed, c.passed);
    EXPECT_TRUE(ReadFile(d.file("out/good.txt")) == "good data");
    List(d.file("h.lzh"));  // ends, whatever it reports
  }
}

TEST(LhaHostile, NoCutOfAGoodArchivePasses) {
  // -lh5- data from the flat block writer, a level-1 and a level-2 header
  BitWriter w;
  std::vector<Token> t;
  const std::string text = testutil::TextBytes(600, 9);
  for (char ch : text) t.push_back(Lit(static_cast<uint8_t>(ch)));
  t.push_back(Match(100, 300));
  FlatBlock(w, t, 14, 4);
  Entry lh5;
  lh5.method = "-lh5-";
  lh5.name = "text.txt";
  lh5.packed = w.Finish();
  lh5.original = text + text.substr(text.size() - 301, 100);
  Entry l1;
  l1.level = 1;
  l1.name = "one.txt";
  l1.packed = l1.original = "level one";
  l1.exts.push_back({2, "d\xFF"});
  Entry l2 = l1;
  l2.level = 2;
  l2.name = "two.txt";
  std::vector<std::string> parts = {Header(lh5), Header(l1), Header(l2)};
  std::string archive;
  std::vector<size_t> boundaries;
  for (const std::string& p : parts) {
    archive += p;
    boundaries.push_back(archive.size());
  }
  archive.push_back('\0');
  TempDir d;
  WriteFile(d.file("whole.lzh"), archive);
  ASSERT_EQ(Extract(d.file("whole.lzh"), "").stats.passed, 3);
  // An archive may end without its 0 byte, so a cut right after an entry is
  // a shorter good archive; every other cut must fail.
  size_t checked = 0;
  for (size_t cut = 1; cut < archive.size(); ++cut) {
    if (std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end()) continue;
    WriteFile(d.file("cut.lzh"), archive.substr(0, cut));
    const Report r = Extract(d.file("cut.lzh"), "");
    if (r.type != zid::atLha) continue;  // too short to be taken for an archive at all
    ++checked;
    ASSERT_TRUE(r.stats.failed > 0 || r.stats.archiveFailed || !r.errors.empty()) << "cut at " << cut << r.text;
  }
  EXPECT_GT(checked, archive.size() - 40);
}
