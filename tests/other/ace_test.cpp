// ACE extraction (TUnACE over the ACE library) and listing: every corpus
// sample extracted and tested with its CRCs, the listing against the names
// and sizes the corpus records, the extractor's rules (masks, folders,
// volumes, passwords) and hand-made hostile archives.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine/base/Err_Msgs.h"
#include "engine/other/zidUnACE2.h"
#include "other_helpers.h"
#include "platform/ace_builder.h"
#include "platform/files.h"
#include "support/testutil.h"

using acetest::File;
using acetest::Member;
using othertest::Extract;
using othertest::List;
using othertest::Report;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

constexpr int kErrVolumeOrder = 25446;

// The corpus folder of ACE samples, or "".
std::string AceCorpus() {
  const std::string dir = testutil::CorpusDir();
  return dir.empty() || !plat::DirectoryExists(dir + "/ace") ? std::string() : dir + "/ace/";
}

// name -> size of the entries SOURCES.tsv records for the archives whose
// path starts with `prefix` (a volume set's rows together); folders end in "/".
std::map<std::string, int64_t> ExpectedEntries(const std::string& prefix) {
  std::map<std::string, int64_t> out;
  std::ifstream in(testutil::CorpusDir() + "/SOURCES.tsv");
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    for (std::string c; std::getline(ss, c, '\t');) cols.push_back(c);
    if (cols.size() < 6 || cols[0].rfind("ace/" + prefix, 0) != 0) continue;
    std::string list = cols[5];
    if (list.rfind("(from", 0) == 0) list.erase(0, list.find(')') + 2);
    std::stringstream items(list);
    for (std::string item; std::getline(items, item, ';');) {
      item.erase(0, item.find_first_not_of(' '));
      const size_t open = item.rfind(" (");
      if (open == std::string::npos) continue;
      std::string name = item.substr(0, open);
      std::replace(name.begin(), name.end(), '\\', '/');
      out[name] = std::stoll(item.substr(open + 2));
    }
  }
  return out;
}

// Takes volumes that exist, refuses missing ones.
void AcceptVolumes(zid::TUnACE& un) {
  un.OnNextVolume = [](zid::TZipCommon*, std::string&, int, bool exists, bool& cancel) { cancel = !exists; };
}

struct CorpusCase {
  const char* file;
  const char* setPrefix;  // the SOURCES rows of the archive (and its volumes)
  const char* password;
};
const CorpusCase kCorpus[] = {
    {"patool__t.ace", "patool__t.ace", ""},
    {"sharpcompress__Ace.encrypted.ace", "sharpcompress__Ace.encrypted.ace", "test"},
    {"sharpcompress__Ace.method1-solid.ace", "sharpcompress__Ace.method1-solid.ace", ""},
    {"sharpcompress__Ace.method1.ace", "sharpcompress__Ace.method1.ace", ""},
    {"sharpcompress__Ace.method2-solid.ace", "sharpcompress__Ace.method2-solid.ace", ""},
    {"sharpcompress__Ace.method2.ace", "sharpcompress__Ace.method2.ace", ""},
    {"sharpcompress__Ace.store.ace", "sharpcompress__Ace.store.ace", ""},
    {"sharpcompress__Ace.store.split.ace", "sharpcompress__Ace.store.split.", ""},
    {"unarc__license1.ace", "unarc__license1.ace", ""},
    {"unarc__license2.ace", "unarc__license2.ace", ""},
    {"unarc__multi.ace", "unarc__multi.", ""},
};

// A fresh (empty) folder.
std::string Fresh(const std::string& dir) {
  testutil::Run("rm -rf " + testutil::ShellQuote(dir));
  plat::ForceDirectories(dir);
  return dir;
}

// An archive file made of the given bytes.
std::string Save(const TempDir& d, const std::string& name, const std::string& bytes) {
  WriteFile(d.file(name), bytes);
  return d.file(name);
}

}  // namespace

TEST(AceCorpus, EveryMemberExtractsAndTestsWithItsCrc) {
  const std::string corpus = AceCorpus();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  for (const CorpusCase& c : kCorpus) {
    SCOPED_TRACE(c.file);
    const std::map<std::string, int64_t> expected = ExpectedEntries(c.setPrefix);
    ASSERT_FALSE(expected.empty());
    auto setup = [&](zid::TUnACE& un) {
      un.Password = c.password;
      AcceptVolumes(un);
    };
    TempDir d;
    const Report x = Extract<zid::TUnACE>(corpus + c.file, d.path(), setup);
    EXPECT_TRUE(x.errors.empty());
    EXPECT_EQ(x.stats.failed, 0);
    EXPECT_EQ(x.stats.passed, static_cast<int>(expected.size()));
    for (const auto& [name, size] : expected) {
      if (name.back() == '/') continue;
      const plat::FileInfo fi = plat::FileStat(d.file(name));
      EXPECT_TRUE(fi.exists) << name;
      EXPECT_EQ(fi.size, size) << name;
    }
    const Report t = Extract<zid::TUnACE>(corpus + c.file, "", setup);
    EXPECT_TRUE(t.errors.empty());
    EXPECT_EQ(t.stats.failed, 0);
    EXPECT_EQ(t.stats.passed, static_cast<int>(expected.size()));
  }
}

TEST(AceCorpus, ListingAgreesWithTheRecordedEntries) {
  const std::string corpus = AceCorpus();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  for (const CorpusCase& c : kCorpus) {
    SCOPED_TRACE(c.file);
    const othertest::Listing l = List(corpus + c.file, [](zid::TRizER& r) { r.ShowEmptyDirs = true; });
    EXPECT_TRUE(l.errors.empty());
    std::map<std::string, int64_t> listed;
    for (const othertest::Listed& e : l.entries) listed[e.name] = e.unpacked;
    EXPECT_EQ(listed, ExpectedEntries(c.setPrefix));
  }
  // a member split over three volumes: reported once, with the packed sizes of all its parts
  const othertest::Listing multi = List(corpus + "unarc__multi.ace");
  ASSERT_EQ(multi.entries.size(), 1u);
  EXPECT_EQ(multi.entries[0].packed, 599929 + 599929 + 286818);
  EXPECT_EQ(multi.totalFiles, 1);
}

// A member late in a solid archive needs the ones before it (decoded, not
// written); an archive behind a stub is found and read the same.
TEST(AceCorpus, SolidSelectionsAndStubs) {
  const std::string corpus = AceCorpus();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  TempDir d;
  const Report late = Extract<zid::TUnACE>(corpus + "sharpcompress__Ace.method2-solid.ace", d.file("late"),
                                           [&](zid::TUnACE& un) {
                                             plat::ForceDirectories(d.file("late"));
                                             un.FileSpec = {"Tect*"};
                                           });
  EXPECT_EQ(late.stats.passed, 1);
  EXPECT_EQ(late.stats.failed, 0);
  EXPECT_EQ(plat::FileStat(d.file("late/Tect.txt.txt")).size, 15498);
  EXPECT_FALSE(plat::FileStat(d.file("late/exe")).exists);

  const std::string sfx = Save(d, "sfx.ace", testutil::RandomBytes(5000, 3) +
                                                 ReadFile(corpus + "sharpcompress__Ace.method1.ace"));
  const Report x = Extract<zid::TUnACE>(sfx, Fresh(d.file("sfx")));
  EXPECT_EQ(x.stats.passed, 5);
  EXPECT_EQ(x.stats.failed, 0);
  EXPECT_EQ(List(sfx).entries.size(), 3u);
}

// The extractor's rules on a small archive: a folder entry, an empty folder, files.
TEST(AceExtract, MasksFoldersAndRenames) {
  TempDir d;
  const std::string archive = Save(d, "t.ace",
                                   acetest::Archive({acetest::Dir("docs"),
                                                     acetest::Dir("empty"),
                                                     File("docs\\a.txt", "alpha"),
                                                     File("b.txt", "beta")}));
  struct Case {
    const char* name;
    std::function<void(zid::TUnACE&)> setup;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const Case cases[] = {
      {"an empty FileSpec extracts everything", [](zid::TUnACE& un) { un.FileSpec.clear(); },
       {"docs/a.txt", "b.txt"}, {"empty"}},
      {"a mask selects", [](zid::TUnACE& un) { un.FileSpec = {"b.*"}; }, {"b.txt"}, {"docs/a.txt"}},
      {"without stored folders every file lands in the target", [](zid::TUnACE& un) { un.UseStoredDirs = false; },
       {"a.txt", "b.txt"}, {"docs"}},
      {"CreateStoredDirs makes the empty folders", [](zid::TUnACE& un) { un.CreateStoredDirs = true; },
       {"docs/a.txt", "empty"}, {}},
      {"OnRenameFile puts a file under its new name",
       [&d](zid::TUnACE& un) {
         un.OnBegin = [](zid::TZipCommon*, const std::string&, int, bool&) {};
         un.OnRenameFile = [&d](zid::TZipCommon*, const std::string& from, std::string& to) {
           if (from.find("b.txt") != std::string::npos) to = d.file("out/renamed.txt");
         };
       },
       {"renamed.txt", "docs/a.txt"}, {"b.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(d.file("out"));
    const Report r = Extract<zid::TUnACE>(archive, d.file("out"), c.setup);
    EXPECT_EQ(r.stats.failed, 0);
    for (const std::string& p : c.present) EXPECT_TRUE(plat::FileStat(d.file("out/" + p)).exists) << p;
    for (const std::string& p : c.absent) EXPECT_FALSE(plat::FileStat(d.file("out/" + p)).exists) << p;
  }
  EXPECT_EQ(ReadFile(d.file("out/docs/a.txt")), "alpha");
}

// A member split over two volumes: the next volume is asked for, and a
// missing or foreign one ends the entry with an error, never with a file.
TEST(AceExtract, VolumesAreAskedForAndAMissingOneFailsTheEntry) {
  TempDir d;
  const std::string data = testutil::RandomBytes(3000, 5);
  Member first = File("big.bin", data, data.substr(0, 1000));
  first.flags = 0x2001;
  first.crc = 0x12345678;  // a first part's CRC covers a prefix only
  Member second = File("big.bin", data, data.substr(1000));
  second.flags = 0x1001;
  const std::string vol0 = acetest::MainHeader(0x0800, 0) + acetest::Entry(first);
  const std::string vol1 = acetest::MainHeader(0x0800, 1) + acetest::Entry(second) + acetest::Entry(File("after.txt", "z"));
  Save(d, "v.ace", vol0);
  struct Case {
    const char* name;
    std::string secondVolume;  // "" = none
    bool onNextVolume;
    int passed;
    int error;
  };
  const Case cases[] = {
      {"the set extracts", vol1, true, 2, 0},
      {"a missing volume is refused", "", true, 0, zid::E_USERCANCELED},
      {"without OnNextVolume", vol1, false, 0, zid::E_REQUIREDEVENT},
      {"a volume of the wrong number", acetest::MainHeader(0x0800, 5) + acetest::Entry(second), true, 0,
       kErrVolumeOrder},
      {"a volume that does not continue the member", acetest::MainHeader(0x0800, 1) + acetest::Entry(File("x", "y")),
       true, 0, kErrVolumeOrder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plat::DeleteFile(d.file("v.c00"));
    if (!c.secondVolume.empty()) Save(d, "v.c00", c.secondVolume);
    Fresh(d.file("out"));
    const Report r = Extract<zid::TUnACE>(d.file("v.ace"), d.file("out"), [&c](zid::TUnACE& un) {
      if (c.onNextVolume) AcceptVolumes(un);
    });
    EXPECT_EQ(r.stats.passed, c.passed);
    if (c.error) {
      EXPECT_TRUE(r.Has(c.error));
      EXPECT_EQ(r.stats.failed, 1);
      EXPECT_FALSE(plat::FileStat(d.file("out/big.bin")).exists);
    } else {
      EXPECT_TRUE(ReadFile(d.file("out/big.bin")) == data);
    }
  }
}

// Encrypted members: the password is checked before any output exists.
TEST(AceExtract, PasswordsAreCheckedBeforeTheOutput) {
  TempDir d;
  const std::string secret = "the secret text, longer than one cipher block";
  Member m = File("secret.txt", secret, acetest::Encrypt(secret, "right"));
  m.flags = 0x4001;
  const std::string archive = Save(d, "p.ace", acetest::Archive({m, File("plain.txt", "open")}));
  struct Case {
    const char* name;
    const char* password;
    std::vector<std::string> answers;  // what OnGetPassword gives, in turn ("" with no handler: none)
    bool handler;
    bool extracted;
    std::vector<int> errors;
  };
  const Case cases[] = {
      {"the right password", "right", {}, false, true, {}},
      {"a wrong one without a handler", "wrong", {}, false, false, {zid::E_INVALIDPASSWORD}},
      {"none without a handler", "", {}, false, false, {zid::E_REQUIREDEVENT}},
      {"asked: wrong, then right", "", {"wrong", "right"}, true, true, {zid::E_INVALIDPASSWORD}},
      {"asked: always wrong", "", {"a", "b", "c", "d"}, true, false,
       {zid::E_INVALIDPASSWORD, zid::E_INVALIDPASSWORD, zid::E_INVALIDPASSWORD}},
      {"asked: the user gives up", "", {"<stop>"}, true, false, {zid::E_INVALIDPASSWORD}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(d.file("out"));
    size_t asked = 0;
    const Report r = Extract<zid::TUnACE>(archive, d.file("out"), [&](zid::TUnACE& un) {
      un.Password = c.password;
      if (!c.handler) return;
      un.OnGetPassword = [&](zid::TZipCommon*, const std::string&, std::string& pw, bool& tryAgain) {
        const std::string a = asked < c.answers.size() ? c.answers[asked] : "";
        ++asked;
        if (a == "<stop>") tryAgain = false;
        else pw = a;
      };
    });
    EXPECT_EQ(r.errors, c.errors);
    EXPECT_EQ(plat::FileStat(d.file("out/secret.txt")).exists, c.extracted);
    if (c.extracted) {
      EXPECT_EQ(ReadFile(d.file("out/secret.txt")), secret);
    }
    EXPECT_LE(asked, 3u);  // PasswordAttempts questions at most
  }
}

// Hostile and damaged archives end with errors: no crash, no hang, nothing
// outside the target folder, no file of garbage.
TEST(AceExtract, HostileArchivesEndWithErrors) {
  const std::string corpus = AceCorpus();
  TempDir d;
  acetest::LzWriter lz;
  lz.Literals("hello, world");
  const std::string stream = lz.Bytes();
  // the header promises far more packed bytes than the file has
  Member lying = File("lying.txt", "hello, world", stream.substr(0, stream.size() / 2));
  lying.compType = 1;
  lying.packSize = 100000;
  Member longer = File("longer.txt", "short");
  longer.origSize = 50;
  Member method = File("method.bin", "data");
  method.compType = 7;
  Member oddCipher = File("odd.bin", "12345678", "1234567");
  oddCipher.flags = 0x4001;
  Member badCrc = File("crc.txt", "payload");
  badCrc.crc = 1;
  std::string damagedHeader = acetest::Archive({File("ok.txt", "fine"), File("next.txt", "data")});
  damagedHeader[damagedHeader.size() - 6] ^= 0x55;  // inside the second header's name
  std::string cutSolid;
  if (!corpus.empty()) {
    cutSolid = ReadFile(corpus + "sharpcompress__Ace.method2-solid.ace");
    cutSolid.resize(cutSolid.size() * 2 / 3);
  }
  struct Case {
    const char* name;
    std::string bytes;
    int passed;
    int error;
  };
  const std::vector<Case> cases = {
      {"a name with ..", acetest::Archive({File("..\\..\\evil.txt", "x"), File("ok.txt", "fine")}), 2, zid::E_BADFILENAME},
      {"a rooted name", acetest::Archive({File("\\abs.txt", "x")}), 1, 0},
      {"a drive prefix", acetest::Archive({File("C:\\C:\\drive.txt", "x")}), 1, 0},
      {"the packed data ends before the declared size", acetest::Archive({File("ok.txt", "fine"), lying}), 1,
       zid::E_READERROR},
      {"the declared size is larger than the data", acetest::Archive({longer}), 0, zid::E_READERROR},
      {"an unknown compression type", acetest::Archive({method, File("ok.txt", "fine")}), 1,
       zid::E_UNSUPPORTEDMETHOD},
      {"a cipher block cut short", acetest::Archive({oddCipher}), 0, zid::E_INVALIDPASSWORD},
      {"a bad CRC", acetest::Archive({badCrc}), 0, zid::E_CRCERROR},
      {"a damaged header", damagedHeader, 1, zid::E_BADFILEHEADER},
      {"a header cut short", acetest::Archive({File("ok.txt", "fine"), File("next.txt", "data")}).substr(0, 80), 1,
       zid::E_READERROR},
  };
  std::vector<Case> all = cases;
  if (!cutSolid.empty()) all.push_back({"a solid archive cut in the middle", cutSolid, 3, zid::E_READERROR});
  for (const Case& c : all) {
    SCOPED_TRACE(c.name);
    Fresh(d.file("box/out"));
    const std::string archive = Save(d, "h.ace", c.bytes);
    const Report r = Extract<zid::TUnACE>(archive, d.file("box/out"), [](zid::TUnACE& un) { un.Password = "pw"; });
    EXPECT_EQ(r.stats.passed, c.passed);
    if (c.error) {
      EXPECT_TRUE(r.Has(c.error)) << "errors: " << r.errors.size();
    }
    // nothing escaped the target folder
    std::vector<plat::FindData> box;
    plat::ListDirectory(d.file("box"), box);
    for (const plat::FindData& f : box) EXPECT_EQ(f.name, "out");
    EXPECT_FALSE(plat::FileStat(d.file("evil.txt")).exists);
  }
}

// The walker over damaged sets: each ends, with 25114 where a header is wrong.
TEST(AceListing, DamagedArchivesAndSetsEnd) {
  TempDir d;
  Member first = File("big.bin", "0123456789", "01234");
  first.flags = 0x2001;
  Member second = File("big.bin", "0123456789", "56789");
  second.flags = 0x1001;
  struct Case {
    const char* name;
    std::string archive;
    std::string nextVolume;
    size_t entries;
    bool badHeader;
  };
  const Case cases[] = {
      {"a header cut short", acetest::Archive({File("a.txt", "aaaa"), File("b.txt", "bbbb")}).substr(0, 70), "", 1, false},
      {"no main header", std::string("xxxxxxx**ACE**") + std::string(40, '\0'), "", 0, true},
      {"the next volume is missing", acetest::MainHeader(0x0800) + acetest::Entry(first), "", 1, false},
      {"the next volume leads back to the first",
       acetest::MainHeader(0x0800) + acetest::Entry(first), acetest::MainHeader(0x0800, 0) + acetest::Entry(second),
       1, true},
      {"the set", acetest::MainHeader(0x0800) + acetest::Entry(first),
       acetest::MainHeader(0x0800, 1) + acetest::Entry(second) + acetest::Entry(File("c.txt", "c")), 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plat::DeleteFile(d.file("l.c00"));
    if (!c.nextVolume.empty()) Save(d, "l.c00", c.nextVolume);
    const othertest::Listing l = List(Save(d, "l.ace", c.archive));
    EXPECT_EQ(l.entries.size(), c.entries);
    EXPECT_EQ(std::count(l.errors.begin(), l.errors.end(), zid::E_BADFILEHEADER) > 0, c.badHeader);
  }
}
