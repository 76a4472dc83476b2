// The directory reader over hand-made ZIP archives: the walk loop and its end
// condition, counting and filtering, the reader's own rules (events,
// re-entry, list mode), damaged and hostile archives.
#include <gtest/gtest.h>

#include "engine/base/Err_Msgs.h"
#include "listing/listing_helpers.h"
#include "support/testutil.h"

using listing_test::CrcOf;
using listing_test::ListArchive;
using listing_test::RawEntry;
using listing_test::ZipBuilder;

namespace {

RawEntry File(const std::string& name, const std::string& data) {
  RawEntry e;
  e.name = name;
  e.data = data;
  e.crc = CrcOf(data);
  return e;
}

RawEntry Folder(const std::string& name) {
  RawEntry e;
  e.name = name;
  e.externalAttr = 0x10;
  return e;
}

std::string Write(testutil::TempDir& dir, const std::string& name, const std::string& bytes) {
  const std::string path = dir.file(name);
  testutil::WriteFile(path, bytes);
  return path;
}

bool HasError(const listing_test::ListResult& r, int code) {
  for (int c : r.errors)
    if (c == code) return true;
  return false;
}

}  // namespace

TEST(RizerWalk, CentralDirectoryFieldsCountsAndTotals) {
  testutil::TempDir dir;
  ZipBuilder b;
  b.Add(File("a.txt", std::string(100, 'a')));
  RawEntry packed = File("sub/b.bin", std::string(40, 'x'));
  packed.method = 8;
  packed.flags = 2;  // the maximum-compression Deflate option
  packed.unpacked = 160;
  b.Add(packed);
  b.Add(Folder("sub/"));
  const auto r = ListArchive(Write(dir, "t.zip", b.Bytes()));
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.errors.empty());
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].name, "a.txt");
  EXPECT_EQ(r.entries[0].methodName, "Stored");
  EXPECT_EQ(r.entries[0].crc, CrcOf(std::string(100, 'a')));
  EXPECT_EQ(r.entries[0].offset, 0);
  EXPECT_EQ(r.entries[0].filenum, 1);
  EXPECT_EQ(r.entries[1].name, "sub/b.bin");
  EXPECT_EQ(r.entries[1].methodName, "DeflateX");
  EXPECT_EQ(r.entries[1].packed, 40);
  EXPECT_EQ(r.entries[1].unpacked, 160);
  EXPECT_EQ(r.entries[1].ratio, 75);
  EXPECT_EQ(r.entries[1].offset, 30 + 5 + 100);
  EXPECT_EQ(r.entries[1].filenum, 2);
  EXPECT_DOUBLE_EQ(r.entries[0].date, plat::EncodeDateTime(2024, 1, 1, 12, 0, 0, 0));
  ASSERT_TRUE(r.totalsFired);
  EXPECT_EQ(r.totalFiles, 2);
  EXPECT_EQ(r.totalUnpacked, 260);
  EXPECT_EQ(r.totalPacked, 140);
  EXPECT_EQ(r.totalRatio, 46);  // (260 - 140) * 100 / 260 = 46.15
  // The folder was seen but not reported.
  EXPECT_EQ(r.readFiles.size(), 3u);
}

TEST(RizerWalk, ShowEmptyDirsReportsFoldersOutsideTheTotals) {
  testutil::TempDir dir;
  ZipBuilder b;
  b.Add(Folder("docs"));  // marked by the attribute only: gets its separator
  b.Add(File("docs/x.txt", "xyz"));
  RawEntry jarDir;  // marked by the separator only, as jar writes them
  jarDir.name = "META-INF/";
  jarDir.externalAttr = 0;
  b.Add(jarDir);
  const auto r = ListArchive(Write(dir, "t.zip", b.Bytes()), [](zid::TRizER& z) { z.ShowEmptyDirs = true; });
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].name, "docs/");
  EXPECT_EQ(r.entries[0].methodName, "");
  EXPECT_EQ(r.entries[2].name, "META-INF/");
  // Central walks count reported folders, the totals hold the file only.
  EXPECT_EQ(r.totalFiles, 3);
  EXPECT_EQ(r.totalUnpacked, 3);
  EXPECT_EQ(r.totalPacked, 3);
}

TEST(RizerWalk, ExcludedEntriesStillFireOnReadFile) {
  testutil::TempDir dir;
  ZipBuilder b{File("keep.txt", "1"), File("drop.log", "22"), File("deep/keep2.txt", "333")};
  std::vector<std::string> excluded;
  const auto r = ListArchive(Write(dir, "t.zip", b.Bytes()), [&](zid::TRizER& z) {
    z.ExcludeSpec = {"*.log"};
    z.OnExcludeFile = [&](zid::TZipCommon*, const std::string& n) { excluded.push_back(n); };
  });
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[1].name, "deep/keep2.txt");
  EXPECT_EQ(r.readFiles, (std::vector<std::string>{"keep.txt", "drop.log", "deep/keep2.txt"}));
  EXPECT_EQ(excluded, std::vector<std::string>{"drop.log"});
  EXPECT_EQ(r.totalFiles, 2);
  EXPECT_EQ(r.totalUnpacked, 4);

  // A FileSpec that selects nothing is no error.
  const auto none = ListArchive(dir.file("t.zip"), [](zid::TRizER& z) { z.FileSpec = {"*.doc"}; });
  EXPECT_TRUE(none.ok);
  EXPECT_TRUE(none.entries.empty());
  EXPECT_TRUE(none.errors.empty());
  EXPECT_EQ(none.readFiles.size(), 3u);
}

TEST(RizerWalk, EncryptionHeaderIsTakenOffThePackedSize) {
  testutil::TempDir dir;
  ZipBuilder b;
  RawEntry twelve = File("twelve", std::string(12, '\x55'));
  twelve.flags = 1;
  twelve.unpacked = 0;
  RawEntry eleven = File("eleven", std::string(11, '\x55'));
  eleven.flags = 1;
  eleven.unpacked = 0;
  b.Add(twelve);
  b.Add(eleven);
  const auto r = ListArchive(Write(dir, "t.zip", b.Bytes()));
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_TRUE(r.entries[0].encrypted);
  EXPECT_EQ(r.entries[0].packed, 0);
  EXPECT_EQ(r.entries[1].packed, 11);
}

TEST(RizerWalk, HeaderEncipheredArchiveLists) {
  testutil::TempDir dir;
  ZipBuilder b;
  RawEntry e = File("secret/name.txt", "payload");
  e.encipherHeaders = true;
  b.Add(e);
  RawEntry f = File("other.bin", "0123456789");
  f.encipherHeaders = true;
  b.Add(f);
  const auto r = ListArchive(Write(dir, "t.zip", b.Bytes()));
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].name, "secret/name.txt");
  EXPECT_EQ(r.entries[0].crc, CrcOf("payload"));
  EXPECT_EQ(r.entries[1].name, "other.bin");
  EXPECT_EQ(r.entries[1].unpacked, 10);
}

TEST(RizerWalk, Zip64FieldsGiveSizesAbove4GiB) {
  testutil::TempDir dir;
  ZipBuilder b;
  RawEntry big = File("big.iso", "");
  // The central header's 32-bit sizes are saturated; the zip64 field holds them.
  big.unpacked = 0xFFFFFFFF;
  std::string extra(4 + 16, '\0');
  auto* p = reinterpret_cast<uint8_t*>(extra.data());
  zid::Put16(p, 0x0001);
  zid::Put16(p + 2, 16);
  zid::Put64(p + 4, 5'000'000'000ULL);
  zid::Put64(p + 12, 4'900'000'000ULL);
  big.centralExtra = extra;
  b.Add(big);
  std::string bytes = b.Bytes();
  // Saturate the central compressed size as well (central header follows the 30 + 7 local bytes).
  zid::Put32(reinterpret_cast<uint8_t*>(bytes.data()) + 37 + 20, 0xFFFFFFFF);
  const auto r = ListArchive(Write(dir, "t.zip", bytes));
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].unpacked, 5'000'000'000LL);
  EXPECT_EQ(r.entries[0].packed, 4'900'000'000LL);
  EXPECT_EQ(r.totalUnpacked, 5'000'000'000LL);
}

// ---------------------------------------------------------------------------
// The end condition and the local-header walk

TEST(RizerLocalWalk, HeaderEndingExactlyAtTheEndIsNotRead) {
  testutil::TempDir dir;
  ZipBuilder b;
  b.Add(File("first.txt", "abc"));
  RawEntry last;  // no name, no data: its 30 bytes end exactly at the end of the file
  last.name = "";
  b.Add(last);
  const auto exact = ListArchive(Write(dir, "exact.zip", b.LocalPart()));
  ASSERT_TRUE(exact.ok);
  EXPECT_EQ(exact.readFiles, std::vector<std::string>{"first.txt"});

  // One byte more and the same header is read.
  const auto longer = ListArchive(Write(dir, "longer.zip", b.LocalPart() + "!"));
  EXPECT_EQ(longer.readFiles.size(), 2u);
}

TEST(RizerLocalWalk, CutOffDirectoryIsListedFromLocalHeaders) {
  testutil::TempDir dir;
  ZipBuilder b{File("one.txt", "1111"), File("dir/two.txt", "22"), Folder("dir/")};
  std::string bytes = b.Bytes();
  // Cut in the middle of the central directory: no end record is left.
  const std::string path = Write(dir, "cut.zip", bytes.substr(0, b.LocalPart().size() + 50));

  const auto r = ListArchive(path, [](zid::TRizER& z) { z.ShowEmptyDirs = true; });
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.corruptAsked);
  EXPECT_EQ(r.corruptFlag, zid::htLocal);
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].name, "one.txt");
  EXPECT_EQ(r.entries[0].crc, CrcOf("1111"));
  EXPECT_EQ(r.entries[1].name, "dir/two.txt");
  EXPECT_EQ(r.entries[1].offset, 30 + 7 + 4);  // the local header's own offset
  EXPECT_EQ(r.entries[2].name, "dir/");
  EXPECT_EQ(r.entries[0].attr, 0u);  // local headers carry no attributes
  // Local walks do not count folders.
  EXPECT_EQ(r.totalFiles, 2);

  // Cancel left set: nothing is listed, the walk still ran.
  const auto cancelled = ListArchive(path, [](zid::TRizER& z) {
    z.OnCorruptZipHeader = [](zid::TZipCommon*, uint8_t, bool&) {};
  });
  EXPECT_TRUE(cancelled.ok);
  EXPECT_TRUE(cancelled.entries.empty());
  EXPECT_TRUE(cancelled.totalsFired);

  // Without a handler: 25270 naming the event, then the local walk.
  const auto unhandled = ListArchive(path, [](zid::TRizER& z) { z.OnCorruptZipHeader = nullptr; });
  ASSERT_FALSE(unhandled.errors.empty());
  EXPECT_EQ(unhandled.errors[0], zid::E_REQUIREDEVENT);
  EXPECT_EQ(unhandled.errorExtras[0], "OnCorruptZipHeader");
  EXPECT_EQ(unhandled.entries.size(), 2u);
}

// ---------------------------------------------------------------------------
// Hostile archives end the walk cleanly

TEST(RizerHostile, NamesAndSizesPastTheEndStopTheWalk) {
  testutil::TempDir dir;
  {
    ZipBuilder b{File("a.txt", "a"), File("b.txt", "b")};
    std::string bytes = b.Bytes();
    // The second central header claims a 65535-byte name: more than the file
    // holds. The directory counts as cut short: the local headers are listed.
    const size_t second = b.LocalPart().size() + 46 + 5;
    zid::Put16(reinterpret_cast<uint8_t*>(bytes.data()) + second + 28, 0xFFFF);
    const auto r = ListArchive(Write(dir, "name.zip", bytes));
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.entries.size(), 2u);
    EXPECT_EQ(r.entries[1].name, "b.txt");
    ASSERT_FALSE(r.errors.empty());
    EXPECT_EQ(r.errors[0], zid::E_BADFILEHEADER);
  }
  {
    ZipBuilder b{File("a.txt", "a"), File("b.txt", "b")};
    std::string bytes = b.LocalPart();
    // A local header whose compressed size points far past the end.
    zid::Put32(reinterpret_cast<uint8_t*>(bytes.data()) + 18, 0x7FFFFFF0);
    const auto r = ListArchive(Write(dir, "size.zip", bytes));
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].packed, 0x7FFFFFF0);
  }
}

TEST(RizerHostile, DirectoryWithoutItsLocalHeadersReportsEachEntry) {
  testutil::TempDir dir;
  ZipBuilder b{File("a.txt", "a"), File("b.txt", "b")};
  std::string bytes = b.Bytes();
  // The first central header points at no local header: 25114 per entry, the
  // walk goes on. The next local header found moves every offset by the same
  // amount (as for a stub added in front), which puts b.txt's header past the
  // directory's start: 25115 for it.
  zid::Put32(reinterpret_cast<uint8_t*>(bytes.data()) + b.LocalPart().size() + 42, 7);
  const auto r = ListArchive(Write(dir, "bad.zip", bytes));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.errors, (std::vector<int>{zid::E_BADFILEHEADER, zid::E_BADFILEHEADER, zid::E_BADLOCALOFFSET}));
}

// ---------------------------------------------------------------------------
// The reader's own rules

TEST(RizerRules, MissingFileAndMissingOnRead) {
  testutil::TempDir dir;
  zid::TRizER r;
  std::vector<int> codes;
  r.OnError = [&](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int c) {
    codes.push_back(c);
  };
  r.OnRead = [](zid::TZipCommon*, int, int) {};
  r.SetArchiveFile(dir.file("none.zip"));
  EXPECT_FALSE(r.Activate());
  EXPECT_EQ(codes, std::vector<int>{zid::E_FILENOTFOUND});
  EXPECT_FALSE(r.Busy());

  ZipBuilder b;
  b.Add(File("a", "a"));
  r.SetArchiveFile(Write(dir, "t.zip", b.Bytes()));
  r.OnRead = nullptr;
  codes.clear();
  EXPECT_FALSE(r.Activate());
  EXPECT_EQ(codes, std::vector<int>{zid::E_REQUIREDEVENT});
  // A handler's own exception ends the walk and is said, never swallowed.
  r.OnRead = [](zid::TZipCommon*, int, int) { throw std::runtime_error("boom"); };
  r.FileSpec = {"*.*"};
  codes.clear();
  EXPECT_FALSE(r.Activate());
  EXPECT_EQ(codes, std::vector<int>{zid::E_UNKNOWNERROR});
}

TEST(RizerRules, GetFileListAppendsOrClears) {
  testutil::TempDir dir;
  ZipBuilder b{File("x/1.txt", "1"), File("2.txt", "2")};
  const std::string path = Write(dir, "t.zip", b.Bytes());
  zid::TRizER r;
  r.SetArchiveFile(path);
  r.FileSpec = {"*.*"};
  int reads = 0;
  r.OnRead = [&](zid::TZipCommon*, int, int) { ++reads; };
  std::vector<std::string> list{"kept"};
  r.GetFileList(&list);
  EXPECT_EQ(list, (std::vector<std::string>{"kept", "x/1.txt", "2.txt"}));
  EXPECT_EQ(reads, 0);  // list mode: the names go to the list, not to OnRead
  ASSERT_TRUE(r.OnRead);  // the handler is back
  EXPECT_TRUE(r.Activate());
  EXPECT_EQ(reads, 2);
  r.GetFileList(nullptr);  // nothing to fill: nothing happens

  // The archive vanished: the list is cleared.
  std::remove(path.c_str());
  r.GetFileList(&list);
  EXPECT_TRUE(list.empty());
  list = {"kept"};
  r.SetArchiveFile(path);  // a missing file clears the name
  r.GetFileList(&list);
  EXPECT_TRUE(list.empty());
}

TEST(RizerRules, ActivateInsideOnReadIsRefused) {
  testutil::TempDir dir;
  ZipBuilder b{File("a", "a"), File("b", "b")};
  std::vector<bool> nested;
  const auto r = ListArchive(Write(dir, "t.zip", b.Bytes()), [&](zid::TRizER& z) {
    auto outer = z.OnRead;
    z.OnRead = [&nested, outer](zid::TZipCommon* s, int o, int n) {
      outer(s, o, n);
      nested.push_back(static_cast<zid::TRizER*>(s)->Activate());
    };
  });
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(nested, (std::vector<bool>{false, false}));
}

TEST(RizerRules, CancelFromOnReadStopsTheWalk) {
  testutil::TempDir dir;
  ZipBuilder b;
  for (int i = 0; i < 5; ++i) b.Add(File("f" + std::to_string(i), "x"));
  const auto r = ListArchive(Write(dir, "t.zip", b.Bytes()), [](zid::TRizER& z) {
    auto outer = z.OnRead;
    z.OnRead = [outer](zid::TZipCommon* s, int o, int n) {
      outer(s, o, n);
      if (n == 2) s->SetCancel(true);
    };
  });
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.entries.size(), 2u);
  EXPECT_TRUE(HasError(r, zid::E_USERCANCELED));
}

TEST(RizerRules, StateIsResetForEachWalk) {
  testutil::TempDir dir;
  ZipBuilder b;
  b.Add(File("a", "abc"));
  zid::TRizER r;
  r.SetArchiveFile(Write(dir, "t.zip", b.Bytes()));
  r.FileSpec = {"*.*"};
  r.OnRead = [](zid::TZipCommon*, int, int) {};
  ASSERT_TRUE(r.Activate());
  ASSERT_TRUE(r.Activate());
  EXPECT_EQ(r.FileCount, 1);
  EXPECT_EQ(r.TotalUnpackedSize, 3);
  r.FileSpec = {"nothing"};
  ASSERT_TRUE(r.Activate());
  EXPECT_EQ(r.FileCount, 0);
  EXPECT_EQ(r.TotalUnpackedSize, 0);
  EXPECT_DOUBLE_EQ(r.FileDate, zid::kInvalidFileDate);
}

TEST(RizerRules, IsArchiveReadableNeedsARecognisedType) {
  testutil::TempDir dir;
  zid::TRizER r;
  EXPECT_FALSE(r.IsArchiveReadable());
  r.SetArchiveFile(Write(dir, "plain.txt", "just some text, not an archive at all"));
  EXPECT_FALSE(r.IsArchiveReadable());
}

TEST(RizerDates, DosUnixAndSwappedConversions) {
  EXPECT_DOUBLE_EQ(zid::DosDateToFileDate(0), plat::EncodeDateTime(1980, 1, 1, 0, 1, 0, 0));
  EXPECT_DOUBLE_EQ(zid::DosDateToFileDate(0x00006000), zid::kInvalidFileDate);  // month 0, day 0
  EXPECT_DOUBLE_EQ(zid::DosDateToFileDate(0x58216000), plat::EncodeDateTime(2024, 1, 1, 12, 0, 0, 0));
  EXPECT_DOUBLE_EQ(zid::SwappedDosDateToFileDate(0x60005821), plat::EncodeDateTime(2024, 1, 1, 12, 0, 0, 0));
  EXPECT_DOUBLE_EQ(zid::UnixToFileDate(0), plat::EncodeDateTime(1980, 1, 1, 0, 1, 0, 0));
  EXPECT_DOUBLE_EQ(zid::UnixToFileDate(1700000000), plat::UnixToDateTime(1700000000));
}

TEST(RizerVolumes, MultiVolumeEntriesNameTheirVolume) {
  testutil::TempDir dir;
  ZipBuilder b{File("first.bin", "11"), File("second.bin", "22")};
  std::string bytes = b.Bytes();
  auto* p = reinterpret_cast<uint8_t*>(bytes.data());
  const size_t central = b.LocalPart().size();
  // The second entry starts on the second disk; the directory is on that (last) disk.
  zid::Put16(p + central + 46 + 9 + 34, 1);
  zid::Put16(p + bytes.size() - 22 + 4, 1);
  zid::Put16(p + bytes.size() - 22 + 6, 1);
  // Split archives begin with the spanning marker.
  const std::string path = Write(dir, "set.zip", std::string("PK\x07\x08", 4) + bytes);
  zid::TRizER probe;
  probe.SetArchiveFile(path);
  if (probe.GetArcType() != zid::atZipMV) GTEST_SKIP() << "not detected as a multi-volume set here";
  const auto r = ListArchive(path);
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].volume, dir.file("set.z01"));
  EXPECT_EQ(r.entries[1].volume, path);
}
