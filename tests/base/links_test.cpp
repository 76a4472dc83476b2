// Link entries on extraction: ZIP, TAR (and .tar.gz) and LHA links come back
// as links when their target stays inside the folder, the others are
// refused by name, a test passes them all, and no later entry ever writes
// through a link.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/Err_Msgs.h"
#include "engine/lha/zidUnLha.h"
#include "engine/other/zidUnGZip.h"
#include "engine/other/zidUnTar.h"
#include "engine/zip/zidUnZip.h"
#include "lha/unlha_helpers.h"
#include "other/gztar_helpers.h"
#include "support/hostile.h"
#include "support/testutil.h"
#include "zip/zip_fixture.h"

namespace fs = std::filesystem;
using testutil::ShellQuote;
using testutil::TempDir;

namespace {

using Factory = std::function<std::unique_ptr<zid::TUnBase>()>;
template <typename T>
Factory Make() {
  return [] { return std::make_unique<T>(); };
}

struct Outcome {
  zid::TUnBase::TStats stats;
  std::vector<int> codes;
  std::string text;  // "code name: extra" lines
  bool Has(int code, const std::string& piece = std::string()) const {
    for (size_t i = 0, at = 0; i < codes.size(); ++i) {
      const size_t end = text.find('\n', at);
      const std::string line = text.substr(at, end - at);
      at = end + 1;
      if (codes[i] == code && line.find(piece) != std::string::npos) return true;
    }
    return false;
  }
};

// Extracts (dir set) or tests (dir empty) under a watchdog.
Outcome Unpack(const Factory& make, const std::string& archive, const std::string& dir,
            const std::function<void(zid::TUnBase&)>& setup = nullptr) {
  return testutil::WithWatchdog(
      [&] {
        Outcome o;
        std::unique_ptr<zid::TUnBase> un = make();
        un->SetArchiveFile(archive);
        un->FileSpec = {"*.*"};
        un->OnError = [&o](zid::TZipCommon*, const std::string& name, const std::string& extra, const std::string&,
                           int code) {
          o.codes.push_back(code);
          o.text += std::to_string(code) + " " + name + ": " + extra + "\n";
        };
        if (setup) setup(*un);
        if (dir.empty()) {
          un->ExtractTest();
        } else {
          un->SetExtractDir(dir);
          un->Extract();
        }
        o.stats = un->Stats();
        return o;
      },
      20, archive);
}

std::string LinkAt(const std::string& path) {
  std::error_code ec;
  return fs::is_symlink(fs::symlink_status(path, ec)) ? fs::read_symlink(path, ec).string() : std::string();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

// The tree every peer archives: links inside (to a file, to a folder, up one
// folder), one absolute and one that climbs out.
const std::map<std::string, std::string> kInside = {{"rel", "f.txt"}, {"dirlink", "sub"}, {"sub/back", "../f.txt"}};
const std::map<std::string, std::string> kOutside = {{"abs", "/etc/passwd"}, {"up", "../../outside"}};

void MakeTree(const std::string& src) {
  fs::create_directories(src + "/sub");
  testutil::WriteFile(src + "/f.txt", "hi\n");
  for (const auto& m : {kInside, kOutside})
    for (const auto& [name, target] : m) fs::create_symlink(target, src + "/" + name);
}

// The same tree as LHa for Unix stores it: "-lhd-" entries "name|target"
// with the link's Unix mode.
std::string LhaTree() {
  std::string out = unlhatest::Stored("f.txt", "hi\n", 1);
  unlhatest::Entry d;
  d.level = 1;
  d.method = "-lhd-";
  d.name = "sub/";
  out += unlhatest::Header(d);
  for (const auto& m : {kInside, kOutside})
    for (const auto& [name, target] : m) {
      unlhatest::Entry e;
      e.level = 1;
      e.method = "-lhd-";
      e.osId = 'U';
      e.name = name + "|" + target;
      e.exts.push_back({0x50, std::string("\xFF\xA1", 2)});  // mode 0120777
      out += unlhatest::Header(e);
    }
  return out + std::string(1, '\0');
}

}  // namespace

// Archives of peers (and an LHA as LHa for Unix writes it): the inside links
// are made with the stored target, the others refused by name, the file
// extracted; a test passes every entry.
TEST(Links, PeerArchivesMakeInsideLinksAndRefuseOthers) {
  TempDir t;
  const std::string src = t.file("src");
  MakeTree(src);
  const std::string in = "cd " + ShellQuote(src) + " && ";
  struct Case {
    const char* what;
    const char* tool;
    std::string make;  // command that writes the archive, or "" for `bytes`
    std::string archive;
    Factory factory;
    std::string bytes;
  };
  const Case cases[] = {
      {"zip -y", "zip", in + "zip -qry ../a.zip .", t.file("a.zip"), Make<zid::TUnZip>(), ""},
      {"tar", "tar", in + "tar cf ../a.tar .", t.file("a.tar"), Make<zid::TUnTar>(), ""},
      {"bsdtar pax", "bsdtar", in + "bsdtar --format pax -cf ../b.tar .", t.file("b.tar"), Make<zid::TUnTar>(), ""},
      {"tar.gz", "tar", in + "tar czf ../a.tgz .", t.file("a.tgz"),
       [] {
         auto g = std::make_unique<zid::TUnGZip>();
         g->OnNestedTarFile = [](zid::TZipCommon*, const std::string&, bool& doUnTar) { doUnTar = true; };
         return std::unique_ptr<zid::TUnBase>(std::move(g));
       },
       ""},
      {"LHA level 1", "lhasa", "", t.file("a.lzh"), Make<zid::TUnLha>(), LhaTree()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!testutil::HaveTool(c.tool)) continue;
    if (c.make.empty()) testutil::WriteFile(c.archive, c.bytes);
    else ASSERT_EQ(testutil::Run(c.make), 0);
    const std::string out = t.file(std::string("out-") + c.what);
    std::map<std::string, bool> ends;  // OnEnd of what was made, by its path below the folder
    auto onEnd = [&ends, &out](zid::TZipCommon*, const zid::TEntryReport& e) {
      if (!e.outputPath.empty()) ends[e.outputPath.substr(out.size() + 1)] = e.verdict == zid::TVerdict::Passed;
    };
    const Outcome o = Unpack(c.factory, c.archive, out, [&](zid::TUnBase& u) {
      u.CreateStoredDirs = true;
      u.OnEnd = onEnd;
    });
    EXPECT_EQ(testutil::ReadFile(out + "/f.txt"), "hi\n");
    for (const auto& [name, target] : kInside) {
      EXPECT_EQ(LinkAt(out + "/" + name), target) << name;
      EXPECT_TRUE(ends[name]) << name;
    }
    EXPECT_EQ(testutil::ReadFile(out + "/sub/back"), "hi\n");  // followed by the user, it reads the file
    for (const auto& [name, target] : kOutside) {
      EXPECT_FALSE(Exists(out + "/" + name)) << name;
      EXPECT_TRUE(o.Has(zid::E_BADFILENAME, name + ": symbolic link to " + target +
                                                ": not created, it points outside the folder"))
          << o.text;
    }
    EXPECT_EQ(o.stats.failed, 2) << o.text;
    EXPECT_EQ(o.codes.size(), 2u) << o.text;
    const Outcome test = Unpack(c.factory, c.archive, "");
    EXPECT_TRUE(test.codes.empty()) << test.text;
    EXPECT_EQ(test.stats.failed, 0);
    EXPECT_GE(test.stats.passed, std::string(c.what) == "tar.gz" ? 1 : 6);  // a test of a .tar.gz checks the gzip
    // Again into the same folder, every existing name kept when asked: the links are asked about like files.
    if (std::string(c.what) == "tar.gz") continue;  // asked about the .tar it unpacks first
    std::vector<std::string> asked;
    const Outcome again = Unpack(c.factory, c.archive, out, [&](zid::TUnBase& u) {
      u.ConfirmOverwrites = true;
      u.OnFileExists = [&](zid::TZipCommon*, const std::string& f, std::string&, zid::TOverwriteMode& m) {
        asked.push_back(f.substr(out.size() + 1));
        m = zid::omSkip;
      };
    });
    for (const auto& [name, target] : kInside) {
      EXPECT_NE(std::find(asked.begin(), asked.end(), name), asked.end()) << name;
      EXPECT_EQ(LinkAt(out + "/" + name), target) << name;
    }
    EXPECT_EQ(again.stats.skipped, 4);
  }
}

// LHa for Unix archives of the corpus (levels 0 to 2): the links inside come
// back as links, as lhasa makes them.
TEST(Links, LhaCorpusLinksAsLhasaMakesThem) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  REQUIRE_TOOL("lhasa");
  TempDir t;
  for (const char* name : {"libarchive__header0.lzh", "libarchive__header1.lzh", "libarchive__header2.lzh"}) {
    SCOPED_TRACE(name);
    const std::string arc = corpus + "/lha/" + name, ours = t.file(std::string("o-") + name),
                      theirs = t.file(std::string("t-") + name);
    fs::create_directories(theirs);
    ASSERT_EQ(testutil::Run("cd " + ShellQuote(theirs) + " && lhasa xq " + ShellQuote(arc)), 0);
    const Outcome o = Unpack(Make<zid::TUnLha>(), arc, ours);
    EXPECT_TRUE(o.codes.empty()) << o.text;
    for (const char* link : {"dir2/symlink1", "dir2/symlink2"}) {
      EXPECT_EQ(LinkAt(ours + "/" + link), LinkAt(theirs + "/" + link)) << link;
      EXPECT_FALSE(LinkAt(ours + "/" + link).empty()) << link;
    }
  }
}

// Hand-made archives whose later entries try to write through a link made
// earlier (or planted before), and link data that must be refused: nothing
// is ever written outside, and what is refused is said.
TEST(Links, NothingIsWrittenThroughALink) {
  TempDir t;
  const std::string outside = t.file("outside");
  using ziptest::Plain;
  auto zlink = [](const std::string& name, const std::string& target) {
    ziptest::Entry e = Plain(name, target);
    e.versionMadeBy = (3 << 8) | 20;
    e.externalAttr = 0120777u << 16;
    return e;
  };
  auto tlink = [](const std::string& name, const std::string& target, char type = '2') {
    gztartest::TarFields f;
    f.name = name;
    f.type = type;
    f.link = target;
    return gztartest::TarHeader(f);
  };
  ziptest::Entry badCrc = zlink("bad", "f.txt");
  badCrc.crc ^= 1;
  struct Case {
    const char* what;
    Factory factory;
    std::string archive;
    std::map<std::string, std::string> links;  // made, with their target
    std::map<std::string, std::string> files;  // files with their content
    std::vector<std::string> absent;
    int code;            // reported (0: nothing)
    std::string planted;  // a link to `outside` planted in the target before
  };
  const Case cases[] = {
      {"zip: d -> . then d/x", Make<zid::TUnZip>(), ziptest::Build({zlink("d", "."), Plain("d/x", "no")}), {{"d", "."}},
       {}, {"x"}, zid::E_OPENERROR, ""},
      {"zip: evil -> outside then evil/x", Make<zid::TUnZip>(),
       ziptest::Build({zlink("evil", outside), Plain("evil/x", "inside")}), {}, {{"evil/x", "inside"}}, {},
       zid::E_BADFILENAME, ""},
      {"zip: planted link then a file below it", Make<zid::TUnZip>(), ziptest::Build({Plain("planted/x", "no")}), {}, {},
       {}, zid::E_OPENERROR, "planted"},
      {"zip: a link up to the folder, then a climb through it", Make<zid::TUnZip>(),
       ziptest::Build({zlink("a/b/up", "../.."), zlink("a/b/esc", "up/../../x"), Plain("a/b/up/y", "no")}),
       {{"a/b/up", "../.."}}, {}, {"a/b/esc", "y"}, zid::E_BADFILENAME, ""},
      {"zip: a file replaces a link, not its target", Make<zid::TUnZip>(),
       ziptest::Build({Plain("f.txt", "keep"), zlink("s", "f.txt"), Plain("s", "new")}), {}, {{"f.txt", "keep"}, {"s", "new"}},
       {}, 0, ""},
      {"zip: a link replaces a file", Make<zid::TUnZip>(), ziptest::Build({Plain("s", "old"), zlink("s", "t")}),
       {{"s", "t"}}, {}, {}, 0, ""},
      {"zip: target of 5000 bytes", Make<zid::TUnZip>(), ziptest::Build({zlink("long", std::string(5000, 'a'))}), {}, {},
       {"long"}, zid::E_BADFILENAME, ""},
      {"zip: target with a NUL", Make<zid::TUnZip>(), ziptest::Build({zlink("nul", std::string("a\0b", 3))}), {}, {},
       {"nul"}, zid::E_BADFILENAME, ""},
      {"zip: link data failing its CRC", Make<zid::TUnZip>(), ziptest::Build({badCrc}), {}, {}, {"bad"},
       zid::E_CRCERROR, ""},
      {"tar: link to the folder, then a file through it", Make<zid::TUnTar>(),
       tlink("d", ".") + gztartest::TarFile("d/x", "no") + gztartest::TarEnd(), {{"d", "."}}, {}, {"x"},
       zid::E_OPENERROR, ""},
      {"tar: hard link to a file made before", Make<zid::TUnTar>(),
       gztartest::TarFile("f.txt", "hi") + tlink("h", "f.txt", '1') + gztartest::TarEnd(), {}, {{"f.txt", "hi"}, {"h", "hi"}},
       {}, 0, ""},
      {"tar: hard link to a planted file is not made", Make<zid::TUnTar>(),
       tlink("h", "planted", '1') + gztartest::TarEnd(), {}, {}, {"h"}, zid::E_UNKNOWNFILETYPE, "planted"},
      {"tar: hard link to a symbolic link is not made", Make<zid::TUnTar>(),
       tlink("s", "f.txt") + tlink("h", "s", '1') + gztartest::TarEnd(), {{"s", "f.txt"}}, {}, {"h"},
       zid::E_UNKNOWNFILETYPE, ""},
      {"lha: absolute link then a file below it", Make<zid::TUnLha>(),
       [&] {
         unlhatest::Entry e;
         e.method = "-lhd-";
         e.name = "evil|" + outside;
         return unlhatest::Header(e) + unlhatest::Stored("evil\\x", "inside") + std::string(1, '\0');
       }(),
       {}, {{"evil/x", "inside"}}, {}, zid::E_BADFILENAME, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(outside);
    fs::create_directories(outside);
    const std::string out = t.file("out"), arc = t.file("a.bin");
    fs::remove_all(out);
    fs::create_directories(out);
    if (!c.planted.empty()) fs::create_directory_symlink(outside, out + "/" + c.planted);
    testutil::WriteFile(arc, c.archive);
    const Outcome o = Unpack(c.factory, arc, out);
    EXPECT_TRUE(fs::is_empty(outside)) << "written outside";
    for (const auto& [name, target] : c.links) EXPECT_EQ(LinkAt(out + "/" + name), target) << name;
    for (const auto& [name, data] : c.files) {
      EXPECT_TRUE(LinkAt(out + "/" + name).empty()) << name;
      EXPECT_EQ(testutil::ReadFile(out + "/" + name), data) << name;
    }
    for (const std::string& name : c.absent) EXPECT_FALSE(Exists(out + "/" + name)) << name;
    if (c.code == 0) EXPECT_TRUE(o.codes.empty()) << o.text;
    else EXPECT_TRUE(o.Has(c.code)) << o.text;
    // No .zefa temporary name is left behind.
    for (const auto& e : fs::recursive_directory_iterator(out))
      EXPECT_NE(e.path().filename().string().rfind(".zefa-", 0), 0u) << e.path();
  }
}

// Where no link is made: a ZIP link stays a file holding its target in a
// flat extraction and in memory, a test checks its data's CRC, and a TAR
// link in a flat extraction is reported, not made.
TEST(Links, OutputsThatMakeNoLinks) {
  TempDir t;
  ziptest::Entry link = ziptest::Plain("sub/l", "../f.txt");
  link.versionMadeBy = (3 << 8) | 20;
  link.externalAttr = 0120777u << 16;
  testutil::WriteFile(t.file("a.zip"), ziptest::Build({link}));
  const auto flat = [](zid::TUnBase& u) { u.UseStoredDirs = false; };
  Outcome o = Unpack(Make<zid::TUnZip>(), t.file("a.zip"), t.file("flat"), flat);
  EXPECT_TRUE(o.codes.empty()) << o.text;
  EXPECT_TRUE(LinkAt(t.file("flat/l")).empty());
  EXPECT_EQ(testutil::ReadFile(t.file("flat/l")), "../f.txt");

  uint8_t mem[64] = {};
  o = Unpack(Make<zid::TUnZip>(), t.file("a.zip"), t.file("mem"), [&mem](zid::TUnBase& u) {
    u.OutputMode = zid::omToMemory;
    u.OutputMemory = mem;
    u.OutputMemorySize = sizeof mem;
  });
  EXPECT_EQ(std::string(reinterpret_cast<char*>(mem)), "../f.txt");
  EXPECT_FALSE(Exists(t.file("mem/sub")));

  link.crc ^= 1;
  testutil::WriteFile(t.file("bad.zip"), ziptest::Build({link}));
  o = Unpack(Make<zid::TUnZip>(), t.file("bad.zip"), "");
  EXPECT_TRUE(o.Has(zid::E_CRCERROR)) << o.text;
  EXPECT_EQ(o.stats.failed, 1);

  gztartest::TarFields f;
  f.name = "sub/l";
  f.type = '2';
  f.link = "../f.txt";
  testutil::WriteFile(t.file("a.tar"), gztartest::TarHeader(f) + gztartest::TarEnd());
  o = Unpack(Make<zid::TUnTar>(), t.file("a.tar"), t.file("tflat"), flat);
  EXPECT_TRUE(o.Has(zid::E_UNKNOWNFILETYPE, "symbolic link to ../f.txt: not created")) << o.text;
  EXPECT_FALSE(Exists(t.file("tflat/l")));
  EXPECT_EQ(o.stats.failed, 1);
}

// The target rule on its own: relative, ".." only in front and never above
// the folder.
struct Probe : zid::TUnTar {
  using zid::TUnBase::LinkTargetProblem;
  // One link entry declared as 1 byte whose decode writes `data` in 1 KiB
  // pieces while they are taken; `taken` counts them.
  std::string data;
  size_t taken = 0;
  void ProcessArchive() override {
    zid::TEntry e;
    e.storedName = "l";
    e.isSymlink = e.linkInData = true;
    e.unpackedSize = 1;
    e.crcKind = 0;
    ExtractEntry(e, [this] {
      for (size_t at = 0; at < data.size(); at += 1024, ++taken) {
        const size_t n = std::min<size_t>(1024, data.size() - at);
        if (!WriteOutput(reinterpret_cast<const uint8_t*>(data.data() + at), static_cast<int64_t>(n))) return false;
      }
      return true;
    });
  }
};

TEST(Links, TargetRule) {
  struct Case {
    const char* target;
    size_t depth;
    bool ok;
  };
  const Case cases[] = {
      {"f", 0, true},         {"./f", 0, true},      {".", 0, true},          {"a/b/", 0, true},
      {"../f", 1, true},      {"../../f", 1, false}, {"..", 0, false},        {"/etc/passwd", 3, false},
      {"\\x", 0, false},      {"..\\..\\x", 1, false}, {"a/../f", 2, false},   {"", 0, false},
      {"up/../../x", 2, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Probe::LinkTargetProblem(c.target, c.depth).empty(), c.ok) << c.target << " at depth " << c.depth;
}

// A decode that runs on past the declared size keeps no more than 4 KiB of a
// link's target in memory.
TEST(Links, LinkDataIsBounded) {
  TempDir t;
  testutil::WriteFile(t.file("a.tar"), gztartest::TarEnd());
  for (const bool tooLong : {false, true}) {
    Probe p;
    p.data = tooLong ? std::string(1 << 20, 'a') : std::string("f");
    int code = 0;
    p.OnError = [&code](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int c) { code = c; };
    p.SetArchiveFile(t.file("a.tar"));
    p.FileSpec = {"*.*"};
    p.SetExtractDir(t.file(tooLong ? "long" : "short"));
    p.Extract();
    EXPECT_EQ(code, tooLong ? zid::E_BADFILENAME : 0);
    EXPECT_EQ(LinkAt(t.file(tooLong ? "long/l" : "short/l")), tooLong ? "" : "f");
    EXPECT_LE(p.taken, 4u);
  }
}
