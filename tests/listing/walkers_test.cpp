// The ARC, PAK, HA, RAR, UUE and MsGZ walkers of the directory reader: the
// shared corpus against the listings of its peer tools, the formats' own
// rules on archives built here byte by byte, and damaged archives that must
// end the walk with an error instead of looping or reading past the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidCrc.h"
#include "listing/listing_helpers.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "support/testutil.h"

using listing_test::ListArchive;
using listing_test::ListResult;
using zid::Put16;
using zid::Put32;

namespace {

// ---- fixtures -------------------------------------------------------------

std::string U16(uint16_t v) {
  std::string s(2, '\0');
  Put16(reinterpret_cast<uint8_t*>(s.data()), v);
  return s;
}
std::string U32(uint32_t v) {
  std::string s(4, '\0');
  Put32(reinterpret_cast<uint8_t*>(s.data()), v);
  return s;
}

// ARC: one entry (method 1 has the short header without the original size).
std::string ArcEntry(uint8_t method, const std::string& name, const std::string& data, uint32_t original = 100) {
  std::string name13 = name;
  name13.resize(13, '\0');
  std::string h = std::string("\x1A") + static_cast<char>(method) + name13 + U32(static_cast<uint32_t>(data.size())) +
                  U16(0x5821) + U16(0x6000) + U16(0x1234);
  if (method != 1) h += U32(original);
  return h + data;
}
std::string ArcFolder(const std::string& name, const std::string& nested) {
  return ArcEntry(30, name, nested + "\x1A\x1F", 0);
}

// HA: "HA", the count, then entries with their host bytes.
struct HaEntry {
  int method = 0;
  std::string path, name, data, hostInfo = std::string("\x01\x20", 2);
};
std::string HaArchive(const std::vector<HaEntry>& entries, uint16_t count = 0) {
  std::string s = "HA" + U16(count ? count : static_cast<uint16_t>(entries.size()));
  for (const HaEntry& e : entries)
    s += std::string(1, static_cast<char>(0x20 | e.method)) + U32(static_cast<uint32_t>(e.data.size())) +
         U32(static_cast<uint32_t>(e.data.size())) + U32(0xCAFE) + U32(0x68000000) + e.path + '\0' + e.name + '\0' +
         static_cast<char>(e.hostInfo.size()) + e.hostInfo + e.data;
  return s;
}

// RAR: marker and main header, blocks, file blocks.
std::string RarHead(uint16_t mainFlags = 0) {
  return std::string("Rar!\x1A\x07\x00", 7) + U16(0) + '\x73' + U16(mainFlags) + U16(13) + std::string(6, '\0');
}
// Puts the header CRC (the low half of the CRC-32 of the header after it) into a block.
std::string WithRarCrc(std::string block) {
  const size_t size = static_cast<uint8_t>(block[5]) | (static_cast<uint8_t>(block[6]) << 8);
  if (size < 2 || size > block.size()) return block;
  Put16(reinterpret_cast<uint8_t*>(block.data()),
        static_cast<uint16_t>(zid::Crc32Of(block.data() + 2, static_cast<int64_t>(size - 2)) & 0xFFFF));
  return block;
}
std::string RarBlock(uint8_t type, uint16_t flags, const std::string& body, const std::string& data = "") {
  const bool dataSize = (flags & 0x8000) != 0;
  return WithRarCrc(U16(0) + static_cast<char>(type) + U16(flags) +
                    U16(static_cast<uint16_t>(7 + (dataSize ? 4 : 0) + body.size())) +
                    (dataSize ? U32(static_cast<uint32_t>(data.size())) : "") + body + data);
}
std::string RarFile(const std::string& name, const std::string& data, uint16_t flags = 0, uint32_t attr = 0x20,
                    char host = 2) {
  const std::string body = U32(500) + host + U32(0xC0FFEE) + U32(0x58216000) + '\x14' + '\x30' +
                           U16(static_cast<uint16_t>(name.size())) + U32(attr) + name;
  return RarBlock(0x74, static_cast<uint16_t>(0x8000 | flags), body, data);
}

// MsGZ: archive head pointing at a one-record folder table, then entries.
std::string MsGzEntry(const std::string& name, uint32_t distance = 0, uint32_t attr = 0x20) {
  std::string e = U16(0) + U32(300) + U32(120) + U32(0x4000) + U16(0x5821) + U16(0x6000) + U32(attr);
  e += U32(distance ? distance : static_cast<uint32_t>(29 + name.size())) + U16(0) +
       static_cast<char>(name.size()) + name;
  return e;
}
std::string MsGzArchive(const std::string& entries, uint16_t recordLength = 10, uint32_t tableAt = 54) {
  std::string head = std::string("\x13\x5D\x65\x8C", 4) + std::string(50, '\0');
  Put32(reinterpret_cast<uint8_t*>(head.data()) + 41, tableAt);
  const std::string record = std::string("\x01\x00", 2) + U16(recordLength) + U16(0);
  return head + record + std::string(recordLength > 6 ? recordLength - 6 : 0, 'd') + entries;
}

std::string Write(testutil::TempDir& dir, const std::string& name, const std::string& bytes) {
  const std::string path = dir.file(name);
  testutil::WriteFile(path, bytes);
  return path;
}

// Lists as the given type (always, or only where detection found nothing).
std::function<void(zid::TRizER&)> As(zid::TArcType type, bool dirs = false, bool always = true) {
  return [=](zid::TRizER& r) {
    if (always || !zid::IsRecognised(r.GetArcType())) {
      r.Detection().ArcType = type;
      r.Detection().ArcStartOffset = 0;
    }
    r.ShowEmptyDirs = dirs;
  };
}

std::vector<std::string> Names(const ListResult& r) {
  std::vector<std::string> v;
  for (const auto& e : r.entries) v.push_back(e.name);
  return v;
}

bool HasError(const ListResult& r, int code) {
  return std::find(r.errors.begin(), r.errors.end(), code) != r.errors.end();
}

// ---- corpus -----------------------------------------------------------------

struct Expected {
  std::string name;
  int64_t size = -1;   // -1: not given
  std::string when;    // "YYYY-MM-DD HH:MM" or ""
};

// The entries of an lsar listing ("  0. -----  15498  66.1%  Crun  2025-03-11 17:12  TECT.TXT").
std::vector<Expected> LsarEntries(const std::string& text) {
  std::vector<Expected> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream f(line);
    std::string idx, flags, size, ratio, mode, date, time;
    if (!(f >> idx >> flags >> size >> ratio >> mode >> date >> time) || idx.back() != '.' || flags.size() != 5)
      continue;
    Expected e;
    std::getline(f >> std::ws, e.name);
    if (flags[2] == 'L') e.name = e.name.substr(0, e.name.find(" -> "));
    e.size = size[0] == '-' ? 0 : std::stoll(size);
    e.when = date + " " + time;
    out.push_back(e);
  }
  return out;
}

// The expected_files column of SOURCES.tsv for a sample ("name (size); name (size)").
std::vector<Expected> TsvEntries(const std::string& corpus, const std::string& rel) {
  std::istringstream in(testutil::ReadFile(corpus + "/SOURCES.tsv"));
  std::vector<Expected> out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(rel + "\t", 0) != 0) continue;
    std::vector<std::string> cols;
    std::istringstream c(line);
    for (std::string col; std::getline(c, col, '\t');) cols.push_back(col);
    std::string files = cols.size() > 5 ? cols[5] : "";
    if (files.rfind("(from ", 0) == 0) files = files.substr(files.find(") ") + 2);
    std::istringstream items(files);
    for (std::string item; std::getline(items >> std::ws, item, ';');) {
      const size_t open = item.rfind(" (");
      out.push_back({item.substr(0, open), std::stoll(item.substr(open + 2)), ""});
    }
  }
  return out;
}

std::string Minute(double when) {
  const uint32_t dos = plat::DateTimeToDosDateTime(when);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u", (dos >> 25) + 1980, (dos >> 21) & 15, (dos >> 16) & 31,
                (dos >> 11) & 31, (dos >> 5) & 63);
  return buf;
}

}  // namespace

// Every sample lists the entries its peer listing shows, in archive order,
// with their sizes and (where the peer printed them) their times.
TEST(WalkerCorpus, SamplesListAsTheirPeersDo) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  const std::pair<const char*, zid::TArcType> folders[] = {
      {"arc", zid::atArc}, {"pak", zid::atPak}, {"ha", zid::atHA}, {"rar", zid::atRar}, {"uue", zid::atUUE}};
  // Samples the walker refuses with a reason, not a listing.
  const std::pair<const char*, int> refused[] = {{"rar/libarchive__encryption_header.rar", zid::E_PASSWORDPROTECTED}};
  int samples = 0;
  for (const auto& [folder, type] : folders) {
    for (const auto& item : std::filesystem::directory_iterator(corpus + "/" + folder)) {
      const std::string path = item.path().string();
      const std::string rel = std::string(folder) + "/" + item.path().filename().string();
      // Continuation volumes are listed through the first volume of their set.
      if (item.path().extension() == ".txt" || (!plat::FileExists(path + ".list.txt") && type != zid::atHA)) continue;
      SCOPED_TRACE(rel);
      ++samples;
      // The walker reads each sample as the type of its folder.
      const ListResult r = ListArchive(path, As(type, true, false));
      ASSERT_TRUE(r.ok);
      int refusedWith = 0;
      for (const auto& [name, code] : refused)
        if (rel == name) refusedWith = code;
      if (refusedWith) {
        EXPECT_TRUE(HasError(r, refusedWith));
        EXPECT_TRUE(r.entries.empty());
        continue;
      }
      EXPECT_TRUE(r.errors.empty());
      std::vector<Expected> want;
      if (type == zid::atHA) {
        want = TsvEntries(corpus, rel);
      } else if (type == zid::atUUE) {
        const std::string list = testutil::ReadFile(path + ".list.txt");
        const size_t begin = list.find("\nbegin");
        std::istringstream line(list.substr(begin + 1, list.find('\n', begin + 1) - begin - 1));
        std::string word, mode;
        Expected e;
        line >> word >> mode >> e.name;
        const size_t decoded = list.find("\ndecoded bytes: ");
        ASSERT_NE(decoded, std::string::npos);
        e.size = std::stoll(list.substr(decoded + 16));
        want.push_back(e);
      } else {
        want = LsarEntries(testutil::ReadFile(path + ".list.txt"));
      }
      ASSERT_EQ(r.entries.size(), want.size());
      for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(r.entries[i].name, want[i].name);
        EXPECT_EQ(r.entries[i].unpacked, want[i].size) << want[i].name;
        if (!want[i].when.empty()) {
          EXPECT_EQ(Minute(r.entries[i].date), want[i].when) << want[i].name;
        }
      }
    }
  }
  EXPECT_GE(samples, 39);
}

// A file spread over volumes is listed once, from its last part, with the
// packed sizes of all parts: the set lists as the single-volume archive.
TEST(WalkerCorpus, RarVolumeSetSumsThePartsOfEachFile) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  std::vector<int> asked;
  const ListResult set = ListArchive(corpus + "/rar/sharpcompress__Rar2.multi.rar", [&](zid::TRizER& r) {
    r.OnNextVolume = [&](zid::TZipCommon*, std::string&, int n, bool exists, bool&) {
      EXPECT_TRUE(exists);
      asked.push_back(n);
    };
  });
  const ListResult one = ListArchive(corpus + "/rar/sharpcompress__Rar2.rar");
  EXPECT_EQ(asked, (std::vector<int>{2, 3, 4, 5, 6, 7}));
  ASSERT_EQ(set.entries.size(), 3u);
  ASSERT_EQ(one.entries.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(set.entries[i].name, one.entries[i].name);
    EXPECT_EQ(set.entries[i].packed, one.entries[i].packed);
  }
  EXPECT_EQ(set.totalPacked, one.totalPacked);
  EXPECT_EQ(set.totalFiles, 3);

  // Without a middle volume the names are all there (the one in it is cut short).
  testutil::TempDir dir;
  for (const char* ext : {"rar", "r00", "r01", "r03", "r04", "r05"})
    std::filesystem::copy(corpus + "/rar/sharpcompress__Rar2.multi." + ext, dir.file(std::string("m.") + ext));
  const ListResult gap = ListArchive(dir.file("m.rar"));
  EXPECT_EQ(gap.errors, (std::vector<int>{zid::E_FILENOTFOUND}));
  EXPECT_EQ(Names(gap), Names(one));
}

// ARC 6 folders: the folder's nested archive follows its header; its entries
// carry the folder name, and the end-of-folder marker leaves the folder.
// Method 1 entries have the short header. Folders stay out of the totals.
TEST(WalkerRules, ArcFoldersAndShortHeaders) {
  testutil::TempDir dir;
  const std::string arc = ArcEntry(2, "A.TXT", "aaaa", 4) + ArcFolder("DIR", ArcEntry(3, "IN.TXT", "ii", 10)) +
                          ArcEntry(1, "OLD.TXT", "ooo") + ArcEntry(2, "TOP.TXT", "t", 1) + std::string("\x1A\x00", 2);
  const std::string path = Write(dir, "t.arc", arc);
  const ListResult all = ListArchive(path, As(zid::atArc, true));
  EXPECT_TRUE(all.errors.empty());
  EXPECT_EQ(Names(all), (std::vector<std::string>{"A.TXT", "DIR/", "DIR/IN.TXT", "OLD.TXT", "TOP.TXT"}));
  EXPECT_EQ(all.entries[1].methodName, "<Dir>");
  EXPECT_EQ(all.entries[2].unpacked, 10);
  EXPECT_EQ(all.entries[2].methodName, "Packed");
  EXPECT_EQ(all.entries[3].unpacked, 3);  // method 1 stores no original size
  EXPECT_DOUBLE_EQ(all.entries[0].date, plat::EncodeDateTime(2024, 1, 1, 12, 0, 0, 0));
  EXPECT_EQ(all.totalFiles, 4);
  EXPECT_EQ(all.totalUnpacked, 4 + 10 + 3 + 1);
  const ListResult files = ListArchive(path, As(zid::atArc));
  EXPECT_EQ(Names(files), (std::vector<std::string>{"A.TXT", "DIR/IN.TXT", "OLD.TXT", "TOP.TXT"}));
  // PAK archives name their methods their own way.
  const ListResult pak = ListArchive(Write(dir, "t.pak", ArcEntry(11, "D.TXT", "d", 5) + std::string("\x1A\x00", 2)),
                                     As(zid::atPak));
  ASSERT_EQ(pak.entries.size(), 1u);
  EXPECT_EQ(pak.entries[0].methodName, "Distill");
}

// HA entries are listed with the current date; the host block's own length
// byte says where the data begin; the path goes in front of the name.
TEST(WalkerRules, HaEntries) {
  testutil::TempDir dir;
  HaEntry a;
  a.name = "a.txt";
  a.data = "0123456789";
  HaEntry b;
  b.method = 2;
  b.path = std::string("sub\xFFinner\xFF");
  b.name = "b.txt";
  b.data = "xyz";
  b.hostInfo = std::string("\x02\xA4\x81\x00\x00", 5);  // a Unix host's block
  HaEntry d;
  d.method = 14;
  d.name = "emptydir";
  const double before = plat::Now();
  const ListResult r = ListArchive(Write(dir, "t.ha", HaArchive({a, b, d})), As(zid::atHA, true));
  const double after = plat::Now();
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(Names(r), (std::vector<std::string>{"a.txt", "sub/inner/b.txt", "emptydir/"}));
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[1].methodName, "HSC");
  EXPECT_EQ(r.entries[1].packed, 3);
  EXPECT_EQ(r.entries[0].crc, 0xCAFEu);
  for (const auto& e : r.entries) {
    EXPECT_GE(e.date, before);
    EXPECT_LE(e.date, after);
  }
  EXPECT_EQ(r.totalFiles, 2);
}

// Volumes: the next volume is asked for through OnNextVolume; a refusal ends
// the walk with what was listed; a set leading back to a volume already
// walked ends with 25114 instead of going round for ever; a missing volume
// is named (25192) and the walk goes on in the next one there.
TEST(WalkerRules, RarVolumeRequests) {
  testutil::TempDir dir;
  const std::string first = Write(dir, "set.v1.rar", RarHead() + RarFile("before.txt", "bb") +
                                                          RarFile("big.bin", "1111", 0x02));
  Write(dir, "set.v1.r00", RarHead() + RarFile("big.bin", "22222", 0x03));
  Write(dir, "set.v1.r01", RarHead() + RarFile("big.bin", "333", 0x01) + RarFile("after.txt", "a"));
  const ListResult whole = ListArchive(first);
  EXPECT_TRUE(whole.errors.empty());
  EXPECT_EQ(Names(whole), (std::vector<std::string>{"before.txt", "big.bin", "after.txt"}));
  ASSERT_EQ(whole.entries.size(), 3u);
  EXPECT_EQ(whole.entries[1].packed, 12);
  EXPECT_EQ(whole.entries[1].unpacked, 500);
  EXPECT_EQ(whole.entries[1].methodName, "Stored");
  EXPECT_EQ(whole.totalFiles, 3);

  const ListResult refused = ListArchive(first, [](zid::TRizER& r) {
    r.OnNextVolume = [](zid::TZipCommon*, std::string&, int, bool, bool& cancel) { cancel = true; };
  });
  EXPECT_EQ(Names(refused), (std::vector<std::string>{"before.txt"}));
  EXPECT_TRUE(HasError(refused, zid::E_USERCANCELED));

  int asked = 0;
  const ListResult looped = ListArchive(first, [&](zid::TRizER& r) {
    r.OnNextVolume = [&](zid::TZipCommon*, std::string& name, int, bool, bool&) {
      ++asked;
      name = first;
    };
  });
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(HasError(looped, zid::E_BADFILEHEADER));
  EXPECT_EQ(Names(looped), (std::vector<std::string>{"before.txt"}));

  std::filesystem::remove(dir.file("set.v1.r00"));
  const ListResult gap = ListArchive(first);
  EXPECT_EQ(gap.errors, (std::vector<int>{zid::E_FILENOTFOUND}));
  EXPECT_EQ(Names(gap), (std::vector<std::string>{"before.txt", "big.bin", "after.txt"}));
}

// Blocks without data (authenticity records) are passed over; service and
// comment blocks are skipped by their sizes; Unix folders come from the mode.
TEST(WalkerRules, RarBlocksAroundFiles) {
  testutil::TempDir dir;
  const std::string rar = RarHead() + RarBlock(0x76, 0, "signature") + RarBlock(0x7A, 0x8000, "CMT", "comment") +
                          RarBlock(0x75, 0, "old comment") + RarFile("f.txt", "ff") +
                          RarFile("d", "", 0, 0x41ED, 3) + RarFile("link", "", 0, 0xA1FF, 3) +
                          RarFile("w", "", 0, 0x41ED) + RarBlock(0x7B, 0x4000, "") + RarFile("gone", "");
  const ListResult r = ListArchive(Write(dir, "t.rar", rar), As(zid::atRar, true));
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(Names(r), (std::vector<std::string>{"f.txt", "d/", "link", "w"}));
  ASSERT_EQ(r.entries.size(), 4u);
  EXPECT_EQ(r.entries[1].methodName, "<Dir>");
  EXPECT_EQ(r.entries[2].attr, 0x20u);    // a Unix link is a file
  EXPECT_EQ(r.entries[3].attr, 0x41EDu);  // other hosts keep their attributes
}

// A UUE text is one entry named by its first begin line, sized as the whole
// file, listed whatever the masks say.
// Every file of the text, named by the rest of its begin line and sized as its lines decode.
TEST(WalkerRules, UueListsEveryFile) {
  testutil::TempDir dir;
  const std::string text = "header text\nbegin 644 my data.bin\n#86)C\n`\nend\nbegin-base64 600 second.bin\nYQ==\n";
  const std::string path = Write(dir, "t.uue", text);
  const ListResult r = ListArchive(path);
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].name, "my data.bin");
  EXPECT_EQ(r.entries[0].unpacked, 3);
  EXPECT_EQ(r.entries[1].name, "second.bin");
  EXPECT_EQ(r.entries[1].unpacked, 1);
  EXPECT_EQ(r.totalFiles, 2);
}

// MsGZ: the folder table is skipped, then the entries follow their distances.
TEST(WalkerRules, MsGzEntries) {
  testutil::TempDir dir;
  const std::string path =
      Write(dir, "t.z", MsGzArchive(MsGzEntry("one.exe", 40) + std::string(4, '\0') + MsGzEntry("two.dll")));
  const ListResult r = ListArchive(path, As(zid::atMsGZ));
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(Names(r), (std::vector<std::string>{"one.exe", "two.dll"}));
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].unpacked, 300);
  EXPECT_EQ(r.entries[0].packed, 120);
  EXPECT_EQ(r.entries[0].offset, 0x4000);
  EXPECT_EQ(r.entries[0].methodName, "");
  EXPECT_DOUBLE_EQ(r.entries[0].date, plat::EncodeDateTime(2024, 1, 1, 12, 0, 0, 0));
}

// Damaged archives end the walk with an error, in bounded time, after the
// entries that could still be read.
TEST(WalkerHostile, DamagedHeadersEndTheWalk) {
  std::string deep;
  for (int i = 0; i < 70; ++i) deep = ArcFolder("D", deep);
  HaEntry unnamed;
  unnamed.name = "x";
  std::string haNoNul = HaArchive({unnamed});
  haNoNul.resize(haNoNul.size() - 4);  // cut inside the name
  haNoNul.back() = 'y';
  HaEntry ok;
  ok.name = "ok";
  std::string haBadMethod = HaArchive({ok, ok});
  haBadMethod[4 + 17 + 4 + 3] = 0x27;  // second entry: method 7
  std::string rarLongName = RarFile("n.txt", "");
  Put16(reinterpret_cast<uint8_t*>(rarLongName.data()) + 26, 200);
  std::string rarHuge = RarFile("huge", "", 0x0100);
  rarHuge.insert(32, U32(0xFFFFFFFF) + U32(0));  // high halves: the data would end far past the file
  Put16(reinterpret_cast<uint8_t*>(rarHuge.data()) + 5, static_cast<uint16_t>(rarHuge.size()));
  rarHuge = WithRarCrc(rarHuge);
  std::string rarBadCrc = RarFile("b", "");
  rarBadCrc[0] ^= 0x55;
  struct Case {
    const char* what;
    zid::TArcType type;
    std::string bytes;
    int error;  // 0: none
    size_t listed;
  };
  const Case cases[] = {
      {"arc marker missing", zid::atArc, ArcEntry(2, "A", "a", 1) + "junk" + std::string(40, 'j'), 25114, 1},
      {"arc folders nested too deep", zid::atArc, deep + std::string(40, '\0'), 25114, 0},
      {"ha name past the end", zid::atHA, haNoNul + std::string(20, 'z'), 25114, 0},
      {"ha unknown method", zid::atHA, haBadMethod + std::string(30, '\0'), 25114, 1},
      {"ha huge count", zid::atHA, HaArchive({ok}, 0xFFFF), 0, 1},
      {"rar zero-length header", zid::atRar, RarHead() + RarFile("a", "") + std::string(40, '\0'), 25114, 1},
      {"rar name past its header", zid::atRar, RarHead() + rarLongName + std::string(40, '\0'), 25114, 0},
      {"rar file block without data size", zid::atRar, RarHead() + RarBlock(0x74, 0, std::string(40, 'x')),
       25114, 0},
      {"rar data past the end", zid::atRar, RarHead() + rarHuge + RarFile("never", ""), 25236, 1},
      {"rar header failing its CRC", zid::atRar, RarHead() + RarFile("a", "") + rarBadCrc, 25114, 1},
      {"msgz entry that does not move", zid::atMsGZ, MsGzArchive(MsGzEntry("a", 1) + std::string(40, '\0')), 25114,
       0},
      {"msgz name past the end", zid::atMsGZ, MsGzArchive(MsGzEntry("name").substr(0, 29) + "n"), 25114, 0},
      {"msgz folder record shorter than its head", zid::atMsGZ, MsGzArchive(MsGzEntry("a"), 3), 25114, 0},
      {"msgz folder table past the end", zid::atMsGZ, MsGzArchive(MsGzEntry("a"), 10, 0xFFFFFF), 0, 0},
      {"uue without begin line", zid::atUUE, "no uuencoded data here\nat all\n", 25114, 0},
  };
  testutil::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ListResult r = ListArchive(Write(dir, "hostile", c.bytes), As(c.type));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.entries.size(), c.listed);
    if (c.error) {
      EXPECT_TRUE(HasError(r, c.error));
    } else {
      EXPECT_TRUE(r.errors.empty());
    }
  }
}
