// Damaged and hostile archives of every family but ZIP, through the format
// table: every cut (about 150 of them for larger archives) and random bytes,
// tested and listed; a few mutated archives extracted to disk beside a
// sentinel; and entry names that climb out of the target, per format.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "engine/base/zidFormats.h"
#include "engine/base/zidUnBase.h"
#include "engine/listing/zidRizER.h"
#include "lha/unlha_helpers.h"
#include "cab/cab_helpers.h"
#include "other_helpers.h"
#include "platform/ace_builder.h"
#include "gztar_helpers.h"
#include "support/hostile.h"
#include "support/testutil.h"

namespace {

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

struct Fixture {
  std::string label;
  std::string format;  // the format table's -f name
  std::string bytes;
  bool checked = true;  // every entry's data is covered by a checksum
  bool cuts = true;     // a cut can be told from a whole archive (.Z cannot: no size, no checksum)
};

struct Outcome {
  bool clean = false;  // nothing reported and every entry passed
  int passed = 0;
};

Outcome RunTest(const std::string& format, const std::string& path, const std::string& dir = std::string()) {
  const zid::TFormat* f = zid::FormatByName(format);
  auto un = f->makeExtractor(f->types[0]);
  bool reported = false;
  un->SetArchiveFile(path);
  un->FileSpec = {"*.*"};
  un->OnError = [&](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {
    reported = true;
  };
  un->OnGetPassword = [](zid::TZipCommon*, const std::string&, std::string& pw, bool& again) {
    pw = "x";
    again = false;
  };
  if (dir.empty()) {
    un->OutputMode = zid::omTest;
    un->ExtractTest();
  } else {
    un->SetExtractDir(dir);
    un->Extract();
  }
  const auto& s = un->Stats();
  return {!reported && s.failed == 0 && !s.archiveFailed && s.passed > 0, s.passed};
}

// The header offsets the walker reports (entry boundaries of a whole archive).
std::set<size_t> List(const std::string& path) {
  std::set<size_t> offsets;
  zid::TRizER r;
  r.SetArchiveFile(path);
  r.FileSpec = {"*.*"};
  r.OnRead = [&](zid::TZipCommon* s, int, int) {
    offsets.insert(static_cast<size_t>(static_cast<zid::TRizER*>(s)->EntryOffset()));
  };
  r.Activate();
  return offsets;
}

std::string Peer(const TempDir& tmp, const std::string& command, const std::string& out) {
  if (testutil::Run("cd " + testutil::ShellQuote(tmp.file("src")) + " && " + command + " >/dev/null 2>&1") != 0)
    return std::string();
  return ReadFile(tmp.file("src/" + out));
}

std::vector<Fixture> Fixtures(const TempDir& tmp) {
  std::vector<Fixture> out;
  const std::string text = testutil::TextBytes(1400, 1), bin = testutil::RandomBytes(900, 2);
  WriteFile(tmp.file("src/a.txt"), text);
  WriteFile(tmp.file("src/b.bin"), bin);
  auto peer = [&](const char* tool, const std::string& label, const std::string& format, const std::string& command,
                  const std::string& file, bool checked = true, bool cuts = true) {
    if (!testutil::HaveTool(tool)) return;
    std::string bytes = Peer(tmp, command, file);
    if (!bytes.empty()) out.push_back({label, format, bytes, checked, cuts});
  };
  peer("lha", "lha-lh5", "lha", "lha a x.lzh a.txt b.bin", "x.lzh");
  peer("arj", "arj-m1", "arj", "arj a -m1 x.arj a.txt b.bin -y", "x.arj");
  peer("gzip", "gzip", "gzip", "gzip -c a.txt > a.gz", "a.gz");
  peer("compress", "compress", "gzip", "compress -c a.txt > a.Z", "a.Z", false, false);
  peer("xz", "xz", "xz", "xz -c a.txt > a.xz", "a.xz");
  peer("bzip2", "bzip2", "bzip2", "bzip2 -c a.txt > a.bz2", "a.bz2");
  peer("zstd", "zstd", "zstd", "zstd -q -c a.txt > a.zst", "a.zst");
  peer("lz4", "lz4", "lz4", "lz4 -q -c a.txt > a.lz4", "a.lz4");
  peer("tar", "tar", "tar", "tar cf x.tar a.txt b.bin", "x.tar", false);
  peer("gcab", "cab-mszip", "cab", "gcab -c -z x.cab a.txt b.bin", "x.cab", false);
  peer("gcab", "cab-stored", "cab", "gcab -c y.cab a.txt", "y.cab", false);
  out.push_back({"lha-level0", "lha", unlhatest::Stored("a.txt", "alpha") + unlhatest::Stored("b.bin", bin) + '\0'});
  out.push_back({"lha-level2", "lha", unlhatest::Stored("a.txt", "alpha", 2) + unlhatest::Stored("b", bin, 2) + '\0'});
  out.push_back({"zoo", "zoo",
                 othertest::ZooArchive({{"a.txt", "alpha", "alpha"},
                                        {"b.txt", othertest::ZooLzwEncode(text), text, 1}})});
  out.push_back({"ace", "ace", acetest::Archive({acetest::File("a.txt", "alpha"), acetest::File("b.bin", bin)})});
  out.push_back({"rar-stored", "rar",
                 othertest::RarHead() + othertest::RarStored("a.txt", text) + othertest::RarStored("b.bin", bin) +
                     othertest::RarEnd()});
  const std::string corpus = testutil::CorpusDir();
  if (!corpus.empty()) {
    for (const char* name : {"zoo/unarc__high_per.zoo", "ace/unarc__license1.ace", "rar/sharpcompress__Rar2.rar",
                             "rar/sharpcompress__Rar15.rar"}) {
      if (fs::exists(corpus + "/" + name))
        out.push_back({name, fs::path(name).extension().string().substr(1), ReadFile(corpus + "/" + name)});
    }
  }
  return out;
}

// A cut never tests clean unless what is left is whole entries: it passes
// only when cut at a header of the whole archive, or (for data without
// checksums) past the end of the last entry's data, or when every entry
// passed its checksum.
TEST(Hostile, CutsAreErrorsAndNeverHang) {
  TempDir tmp;
  for (const Fixture& f : Fixtures(tmp)) {
    const std::string whole = tmp.file("whole");
    WriteFile(whole, f.bytes);
    const Outcome good = RunTest(f.format, whole);
    ASSERT_TRUE(good.clean) << f.label;
    const std::set<size_t> headers = List(whole);
    // Without checksums the data is whole only up to the end of the last entry's data.
    size_t dataEnd = f.bytes.size();
    if (f.format == "tar") {
      const size_t last = *headers.rbegin();
      dataEnd = last + 512 + std::stoul(f.bytes.substr(last + 124, 11), nullptr, 8);
    }
    const size_t step = f.bytes.size() > 300 ? (f.bytes.size() / 150) | 1 : 1;
    for (size_t n = 0; n < f.bytes.size(); n += step) {
      const std::string cut = tmp.file("cut");
      WriteFile(cut, f.bytes.substr(0, n));
      const Outcome o = testutil::WithWatchdog([&] { return RunTest(f.format, cut); }, 10, f.label + " cut");
      testutil::WithWatchdog([&] { return List(cut); }, 10, f.label + " list cut");
      if (!o.clean || !f.cuts) continue;
      const bool intact = headers.count(n) > 0 || (o.passed == good.passed && (f.checked || n >= dataEnd));
      EXPECT_TRUE(intact) << f.label << " cut at " << n << " of " << f.bytes.size() << " tests clean";
    }
  }
}

TEST(Hostile, RandomBytesNeverCrashOrHang) {
  TempDir tmp;
  uint32_t seed = 7;
  for (const Fixture& f : Fixtures(tmp))
    testutil::MutationPass(f.bytes, tmp.file("m"), 250, seed++, [&](const std::string& p) {
      RunTest(f.format, p);
      List(p);
    });
}

// Everything an extraction writes stays below the target: the sentinel
// beside it is untouched and nothing else appears there.
void ExpectOnlyBelowTarget(const TempDir& tmp, const std::string& label) {
  EXPECT_EQ(ReadFile(tmp.file("box/sentinel")), "keep") << label;
  for (const auto& e : fs::recursive_directory_iterator(tmp.file("box"))) {
    const std::string p = e.path().string();
    EXPECT_TRUE(p == tmp.file("box/sentinel") || p.rfind(tmp.file("box/out"), 0) == 0) << label << ": " << p;
  }
  EXPECT_FALSE(fs::exists("/abs/x")) << label;
}

TEST(Hostile, MutatedArchivesWriteOnlyBelowTheTarget) {
  TempDir tmp;
  WriteFile(tmp.file("box/sentinel"), "keep");
  uint32_t seed = 100;
  for (const Fixture& f : Fixtures(tmp)) {
    testutil::MutationPass(f.bytes, tmp.file("m"), 8, seed++, [&](const std::string& p) {
      RunTest(f.format, p, tmp.file("box/out"));
      fs::remove_all(tmp.file("box/out"));
    });
    ExpectOnlyBelowTarget(tmp, f.label);
  }
}

// Names that climb out of the target, in each format's own headers.
TEST(Hostile, NamesThatClimbOutStayBelowTheTarget) {
  const std::vector<std::string> names = {"../x", "/abs/x", "a/../../x", "C:\\x", "..\\x", "a\\..\\..\\x"};
  const std::string data = "payload";
  struct Maker {
    std::string format;
    std::function<std::string(const std::string&)> make;
  };
  const std::vector<Maker> makers = {
      {"lha", [&](const std::string& n) { return unlhatest::Stored(n, data, 0) + '\0'; }},
      {"lha", [&](const std::string& n) { return unlhatest::Stored(n, data, 2) + '\0'; }},
      {"arj", [&](const std::string& n) { return othertest::ArjMain() + othertest::ArjStored(n, data) + othertest::ArjEnd(); }},
      {"tar", [&](const std::string& n) { return gztartest::TarFile(n, data) + gztartest::TarEnd(); }},
      {"cab",
       [&](const std::string& n) {
         cabtest::CabBuilder b;
         b.AddStored(n, data);
         return b.Bytes();
       }},
      {"zoo", [&](const std::string& n) { return othertest::ZooArchive({{n, data, data}}); }},
      {"ace", [&](const std::string& n) { return acetest::Archive({acetest::File(n, data)}); }},
      {"rar", [&](const std::string& n) { return othertest::RarHead() + othertest::RarStored(n, data) + othertest::RarEnd(); }},
  };
  TempDir tmp;
  WriteFile(tmp.file("box/sentinel"), "keep");
  for (const Maker& m : makers) {
    // The same archive with a plain name extracts: the hostile ones are read too.
    WriteFile(tmp.file("h"), m.make("plain"));
    RunTest(m.format, tmp.file("h"), tmp.file("box/out"));
    EXPECT_EQ(ReadFile(tmp.file("box/out/plain")), data) << m.format;
    fs::remove_all(tmp.file("box/out"));
    for (const std::string& n : names) {
      WriteFile(tmp.file("h"), m.make(n));
      testutil::WithWatchdog([&] { return RunTest(m.format, tmp.file("h"), tmp.file("box/out")); }, 10, n);
      ExpectOnlyBelowTarget(tmp, m.format + " " + n);
      fs::remove_all(tmp.file("box/out"));
    }
  }
}

// A packed size (or ZOO's next pointer) past the end of the file hides what followed: the
// entry before it may pass, but the archive is reported as damaged.
TEST(Hostile, PackedSizesPastTheEndAreReported) {
  const std::string second = "second entry";
  auto lha = [&](int level) {
    std::string a = unlhatest::Stored("a.txt", "alpha", level);
    a[9] = 0x10;  // packed size 0x100005
    if (level == 0) a[1] = static_cast<char>(a[1] + 0x10);  // the header sum
    return a + unlhatest::Stored("b.txt", second, level) + '\0';
  };
  othertest::ArjFields big;
  big.name = "a.txt";
  big.packed = 0x100005;
  big.original = 5;
  big.crc = othertest::Crc32("alpha");
  acetest::Member ace = acetest::File("a.txt", "alpha");
  ace.packSize = 0x100005;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"lha", lha(0)},
      {"lha", lha(2)},
      {"arj", othertest::ArjMain() + othertest::ArjHeader(big) + "alpha" + othertest::ArjStored("b.txt", second) +
                  othertest::ArjEnd()},
      {"zoo", othertest::ZooArchive({{"a.txt", "alpha", "alpha"}, {"b.txt", second, second}}, {{0, 0x100000}})},
      {"ace", acetest::MainHeader() + acetest::Entry(ace) + acetest::Entry(acetest::File("b.txt", second))},
  };
  TempDir tmp;
  for (size_t i = 0; i < cases.size(); ++i) {
    WriteFile(tmp.file("p"), cases[i].second);
    EXPECT_FALSE(RunTest(cases[i].first, tmp.file("p")).clean) << i;
  }
}

// One entry's header overwritten in the middle of an archive: the entries
// before and after it come back byte-exact, the damaged one alone fails, and
// the listing goes on past it too. The third of four is damaged (ARC is
// detected by its first two headers).
TEST(Hostile, DamagedMiddleHeaderLosesOnlyItsEntry) {
  const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt", "d.txt"};
  std::vector<std::string> data;
  for (int i = 0; i < 4; ++i) data.push_back(testutil::RandomBytes(700 + 100 * i, 10 + i));
  struct Family {
    std::string label, format, head, tail;
    std::function<std::string(const std::string&, const std::string&)> entry;  // none: ZOO, whole archive below
  };
  const std::vector<Family> families = {
      {"lha-level0", "lha", "", std::string(1, '\0'), [](auto& n, auto& d) { return unlhatest::Stored(n, d, 0); }},
      {"lha-level2", "lha", "", std::string(1, '\0'), [](auto& n, auto& d) { return unlhatest::Stored(n, d, 2); }},
      {"arj", "arj", othertest::ArjMain(), othertest::ArjEnd(), [](auto& n, auto& d) { return othertest::ArjStored(n, d); }},
      {"tar", "tar", "", gztartest::TarEnd(), [](auto& n, auto& d) { return gztartest::TarFile(n, d); }},
      {"arc", "arc", "", std::string("\x1A\x00", 2), [](auto& n, auto& d) { return othertest::ArcEntry(2, n, d, d); }},
      {"zoo", "zoo", "", "", nullptr},
  };
  TempDir tmp;
  for (const Family& f : families) {
    SCOPED_TRACE(f.label);
    std::string bytes = f.head;
    size_t damage = 0;
    if (f.entry) {
      for (int i = 0; i < 4; ++i) {
        if (i == 2) damage = bytes.size();
        bytes += f.entry(names[i], data[i]);
      }
      bytes += f.tail;
    } else {  // ZOO's entries form a chain: the third entry has the fourth tag (the archive header has one)
      std::vector<othertest::ZooFile> files;
      for (int i = 0; i < 4; ++i) files.push_back({names[i], data[i], data[i]});
      bytes = othertest::ZooArchive(files);
      const std::string tag("\xDC\xA7\xC4\xFD", 4);
      for (int i = 0; i < 4; ++i) damage = bytes.find(tag, i == 0 ? 0 : damage + 1);
    }
    bytes.replace(damage, 6, "\x55\xAA\x55\xAA\x55\xAA");
    WriteFile(tmp.file("d"), bytes);
    fs::remove_all(tmp.file("out"));
    const zid::TFormat* fmt = zid::FormatByName(f.format);
    auto un = fmt->makeExtractor(fmt->types[0]);
    un->SetArchiveFile(tmp.file("d"));
    un->SetExtractDir(tmp.file("out"));
    un->FileSpec = {"*.*"};
    std::vector<int> codes;
    un->OnError = [&](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int c) {
      codes.push_back(c);
    };
    testutil::WithWatchdog([&] { return un->Extract(); }, 10, f.label);
    for (int i : {0, 1, 3}) EXPECT_TRUE(ReadFile(tmp.file("out/" + names[i])) == data[i]) << names[i];
    EXPECT_FALSE(fs::exists(tmp.file("out/c.txt")));
    EXPECT_EQ(un->Stats().passed, 3);
    EXPECT_EQ(un->Stats().failed, 1);
    EXPECT_FALSE(un->Stats().archiveFailed);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), zid::E_BADFILEHEADER), 1);
    EXPECT_EQ(List(tmp.file("d")).size(), 3u);
  }
}

}  // namespace
