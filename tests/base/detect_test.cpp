// Archive detection over bytes built in the test: the boundaries, the
// self-extractor steps, the ZIP directory search and hostile tails.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/base/zidBytes.h"
#include "engine/base/zidDetect.h"
#include "engine/base/zidPeResource.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidZipRecords.h"
#include "platform/drives.h"
#include "support/testutil.h"

using namespace zid;

namespace {

// Detects the bytes as a file of that name.
TArchiveDetection DetectAs(const std::string& bytes, const std::string& name = "x.bin") {
  testutil::TempDir dir;
  const std::string path = dir.file(name);
  testutil::WriteFile(path, bytes);
  TArchiveDetection d;
  AssignArchiveFile(d, path);
  return d;
}

// Detects bytes held in memory (no file name: no .jar rule, no drive query).
TArchiveDetection DetectMem(const std::string& bytes) {
  TArchiveDetection d;
  TMemorySource src(bytes.data(), static_cast<int64_t>(bytes.size()));
  DetectArcType(src, d);
  return d;
}

void Put(std::string& s, size_t at, const std::string& what) {
  if (s.size() < at + what.size()) s.resize(at + what.size(), '\0');
  s.replace(at, what.size(), what);
}
std::string U16(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

// A one-entry stored ZIP built field by field; offsets count from its own start.
std::string TinyZip(const std::string& name = "a.txt", const std::string& data = "hello", uint16_t thisDisk = 0) {
  uint8_t l[kLocalHeaderSize];
  TLocalHeader lh;
  lh.CompressedSize = lh.UncompressedSize = static_cast<uint32_t>(data.size());
  lh.NameLength = static_cast<uint16_t>(name.size());
  lh.Write(l);
  std::string zip(reinterpret_cast<char*>(l), sizeof l);
  zip += name + data;
  const uint32_t dirPos = static_cast<uint32_t>(zip.size());
  uint8_t c[kCentralHeaderSize];
  TCentralHeader ch;
  ch.CopyFromLocal(lh);
  ch.Write(c);
  zip += std::string(reinterpret_cast<char*>(c), sizeof c) + name;
  TEndRecord end;
  end.ThisDisk = thisDisk;
  end.EntriesThisDisk = end.TotalEntries = 1;
  end.DirectorySize = static_cast<uint32_t>(kCentralHeaderSize + name.size());
  end.DirectoryOffset = dirPos;
  uint8_t e[kEndRecordSize];
  end.Write(e);
  return zip + std::string(reinterpret_cast<char*>(e), sizeof e);
}

// An "MZ" stub whose DOS image ends at imageEnd (0: no usable image end).
std::string Stub(size_t length, int64_t imageEnd = 0) {
  std::string s(length, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  if (imageEnd > 0) {
    Put(s, 2, U16(static_cast<uint16_t>(imageEnd % 512)));
    Put(s, 4, U16(static_cast<uint16_t>(imageEnd / 512 + 1)));
  }
  return s;
}

class FixedDrive : public ::testing::Test {
 protected:
  void SetUp() override { Fake(plat::DriveType::Fixed, ""); }
  void TearDown() override { plat::SetDriveQueryHook({}); }
  void Fake(plat::DriveType type, const std::string& label) {
    plat::SetDriveQueryHook([type, label](const std::string&, plat::DriveInfo& out, bool) {
      out = plat::DriveInfo{};
      out.root = "/";
      out.type = type;
      out.label = label;
      out.ready = true;
      out.freeBytes = out.totalBytes = 1 << 30;
      return true;
    });
  }
};

}  // namespace

TEST(ArcTypeNames, TableIsExact) {
  for (int i = 0; i < kArcTypeCount; ++i) EXPECT_EQ(std::strlen(ArcTypeNames[i]), i == 0 ? 11u : 10u) << i;
  EXPECT_STREQ(ArcTypeNames[atNA], "Not avail. ");
  EXPECT_STREQ(ArcTypeNames[atMsGZ], "MsGZ     \t");
  EXPECT_STREQ(ArcTypeNames[atBhExe], "BH  SFX   ");
  EXPECT_STREQ(ArcTypeNames[atJarExe], "JJAR SFX  ");
  EXPECT_STREQ(ArcTypeNames[atZoo], "ZOO       ");
  EXPECT_STREQ(ArcTypeEnumName(atZipMV), "atZipMV");
  EXPECT_STREQ(ArcTypeEnumName(atTarGZip), "atTarGZip");
  EXPECT_FALSE(IsRecognised(atUnknown));
  EXPECT_TRUE(IsRecognised(atTarGZip));
  EXPECT_TRUE(IsZipFamily(atJarExe));
  EXPECT_FALSE(IsZipFamily(atZipDS));
}

TEST(ClassifySignature, BothModes) {
  struct Case {
    std::string bytes;
    TArcType plain, sfx;
  } cases[] = {
      {"BH\x05\x07", atBh, atBhExe},          {"Rar!", atRar, atRarExe},
      {"PKG5", atUnknown, atUnknown},         {"MSCF", atCab, atCabExe},
      {"\xB7\xDF\x54\x57", atArc, atArcExe},  {"\x13\x5D\x65\x8C", atMsGZ, atUnsupported},
      {"xx-l", atLha, atLhaExe},              {"\x1A\x02..", atNA, atUnsupported},
      {"\x1A\x1E..", atNA, atUnsupported},    {"\x1A\x09..", atNA, atArcExe},
      {"\x1A\x0B..", atNA, atPakExe},        {"\x1F\x8B..", atGZip, atUnsupported},
      {"\x1F\x9D..", atGZip, atUnsupported},  {"%!..", atGZip, atUnsupported},
      {"HA..", atHA, atUnsupported},          {"PK\x03\x04", atZip, atZipExe},
      {"PL\x03\x04", atZip, atZipExe},        {"PKG4", atNA, atNA},
      {"PKCI", atNA, atNA},                   {"ZOO ", atZoo, atUnsupported},
      {"\xB7\x92..", atArcExe, atArcExe},     {"\x60\xEA..", atArj, atArjExe},
      {"\x1A\x03..", atNA, atNA},             {"abcd", atNA, atNA},
  };
  std::string empty;
  TMemorySource src(empty.data(), 0);
  for (const Case& c : cases) {
    TArchiveDetection d;
    const auto* b = reinterpret_cast<const uint8_t*>(c.bytes.data());
    EXPECT_EQ(ClassifySignature(src, d, TSignatureMode::Plain, b), c.plain) << c.bytes;
    EXPECT_EQ(ClassifySignature(src, d, TSignatureMode::SelfExtractor, b), c.sfx) << c.bytes;
  }
  // ARC stubs name their own archive start.
  TArchiveDetection d;
  ClassifySignature(src, d, TSignatureMode::SelfExtractor, reinterpret_cast<const uint8_t*>("\xB7\xDF\x54\x57"));
  EXPECT_EQ(d.ArcStartOffset, 7716);
}

// The scan keeps nothing back: what a source throws (against its contract) reaches the caller.
TEST(Detect, TheScanPassesExceptionsOn) {
  struct TThrowing : TByteSource {
    int64_t Size() const override { return 100; }
    int64_t ReadAt(int64_t, void*, int64_t) override { throw std::bad_alloc(); }
  } src;
  TArchiveDetection d;
  EXPECT_THROW(ScanForSignature(src, d, 0), std::bad_alloc);
}

TEST(Detect, NineteenBytesAreTooFewTwentyAreExamined) {
  const std::string rar = "Rar!\x1A\x07" + std::string(13, '\0');
  EXPECT_EQ(DetectMem(rar).ArcType, atNA);
  EXPECT_EQ(DetectMem(rar).ArcStartOffset, -1);
  EXPECT_EQ(DetectMem(rar + '\0').ArcType, atRar);
  EXPECT_EQ(DetectMem(rar + '\0').ArcStartOffset, 0);
  EXPECT_EQ(DetectMem("").ArcType, atNA);
}

TEST(Detect, PlainSearchSpecialStarts) {
  // Zero bytes in front of a local header, and no directory to find.
  std::string z(10, '\0');
  z += "PK\x03\x04" + std::string(86, 'x');
  TArchiveDetection d = DetectMem(z);
  EXPECT_EQ(d.ArcType, atZip);
  EXPECT_EQ(d.ArcStartOffset, 10);
  EXPECT_EQ(d.ZipStructureFlags, htLocal);

  // A zero first byte and "-l" at 130: an LHA header behind a 128-byte prefix.
  std::string l(300, '\0');
  Put(l, 128, std::string("\x20\x00-lh5-", 7));
  d = DetectMem(l);
  EXPECT_EQ(d.ArcType, atLha);
  EXPECT_EQ(d.ArcStartOffset, 128);

  // "PKG5" stops everything, even a ZIP directory behind it.
  EXPECT_EQ(DetectMem("PKG5" + TinyZip()).ArcType, atUnknown);

  EXPECT_EQ(DetectMem("\x1F\x8B\x08" + std::string(40, 'g')).ArcType, atGZip);
  std::string ace = "\x11\x22\x33\x44\x55\x66\x77**ACE**" + std::string(30, 'a');
  EXPECT_EQ(DetectMem(ace).ArcType, atAce);
  EXPECT_EQ(DetectMem(std::string(100, 'q')).ArcType, atNA);
}

TEST(Detect, UuencodedText) {
  EXPECT_EQ(DetectMem("begin 644 file.txt\nM86)C\n`\nend\n").ArcType, atUUE);
  EXPECT_EQ(DetectMem("begin-base64 644 f\nYWJj\n====\n").ArcType, atUUE);
  EXPECT_EQ(DetectMem("some words first\nbegin 755 x\n").ArcType, atUUE);
  // A begin line of another kind, then a full-length data line.
  EXPECT_EQ(DetectMem("intro\nbegin-ish 600 x\nshort\nM" + std::string(60, '!') + "\n").ArcType, atUUE);
  // Without a begin line a line starting with M is plain text.
  EXPECT_EQ(DetectMem("Mostly harmless text\nMore text here.....\n").ArcType, atNA);
  EXPECT_EQ(DetectMem("no begin here at all, only words\n").ArcType, atNA);
}

TEST(Detect, TarHeaderChecksum) {
  std::string h(1024, '\0');
  Put(h, 0, "a.txt");
  Put(h, 100, "0000644");
  Put(h, 124, "00000000005");
  Put(h, 156, "0");
  uint32_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32 : static_cast<uint8_t>(h[i]);
  char ck[8];
  std::snprintf(ck, sizeof ck, "%06o", sum);
  Put(h, 148, std::string(ck) + '\0' + ' ');
  EXPECT_EQ(DetectMem(h).ArcType, atTar);
  h[0] = 'b';  // the sum no longer matches
  EXPECT_EQ(DetectMem(h).ArcType, atNA);
  // 512 bytes are not enough for a tar test.
  EXPECT_EQ(DetectMem(std::string(512, ' ')).ArcType, atNA);
}

TEST(Detect, SelfExtractorImageEnd) {
  // ARJ: the header starts two bytes after the image end.
  std::string arj = Stub(600, 544);
  Put(arj, 544, std::string("\0\0", 2) + "\x60\xEA" + U16(30));
  Put(arj, 546 + 30 + 10, "\x60\xEA");
  arj.resize(800, 'z');
  TArchiveDetection d = DetectMem(arj);
  EXPECT_EQ(d.ArcType, atArjExe);
  EXPECT_EQ(d.ArcStartOffset, 546);

  // gzip bytes at the image end are atUnsupported there: the search goes on
  // and the scan from 17000 finds the RAR archive.
  std::string gz = Stub(20000, 1024);
  Put(gz, 1024, "\x1F\x8B\x08\x00");
  Put(gz, 18000, "Rar!\x1A\x07\x00");
  gz.resize(18100, 'r');
  d = DetectMem(gz);
  EXPECT_EQ(d.ArcType, atRarExe);
  EXPECT_EQ(d.ArcStartOffset, 18000);

  // Known stub length of an LHA self-extractor.
  std::string lha = Stub(2100);
  Put(lha, 1945, std::string("\x20\x00-lh5-", 7));
  d = DetectMem(lha);
  EXPECT_EQ(d.ArcType, atLhaExe);
  EXPECT_EQ(d.ArcStartOffset, 1945);

  // Known stub length of an ARC self-extractor.
  std::string arc = Stub(7000);
  Put(arc, 6867, "\x1A\x08");
  d = DetectMem(arc);
  EXPECT_EQ(d.ArcType, atArcExe);
  EXPECT_EQ(d.ArcStartOffset, 6867);
}

TEST(Detect, ZipBehindStubWithUnfixedOffsets) {
  const std::string zip = TinyZip();
  TArchiveDetection d = DetectMem(Stub(5000) + zip);
  EXPECT_EQ(d.ArcType, atZipExe);
  EXPECT_EQ(d.ZipOffsetAdjust, 5000);
  EXPECT_EQ(d.ArcStartOffset, 5000 + 40);  // the central directory
  EXPECT_EQ(d.ZipStructureFlags, htLocal | htCentral | htEnding);
  EXPECT_EQ(d.ZipCommentPos, static_cast<int64_t>(5000 + zip.size()));

  // Any other prefix: a plain search that ends in the directory search.
  d = DetectMem(std::string(300, '#') + zip);
  EXPECT_EQ(d.ArcType, atZip);
  EXPECT_EQ(d.ZipOffsetAdjust, 300);
  EXPECT_EQ(d.ArcStartOffset, 340);

  // A plain ZIP needs no adjustment; the record copies are kept.
  d = DetectMem(zip);
  EXPECT_EQ(d.ArcType, atZip);
  EXPECT_EQ(d.ZipOffsetAdjust, 0);
  EXPECT_EQ(d.ArcStartOffset, 40);
  TCentralHeader c;
  c.Read(d.CentralHeader.data());
  EXPECT_EQ(c.NameLength, 5);
  TEndRecord e;
  e.Read(d.EndRecord.data());
  EXPECT_EQ(e.DirectoryOffset, 40u);
}

TEST(Detect, JarNameAndVolumes) {
  const std::string zip = TinyZip();
  EXPECT_EQ(DetectAs(zip, "x.jar").ArcType, atJar);
  EXPECT_EQ(DetectAs(zip, "x.JAR").ArcType, atJar);
  EXPECT_EQ(DetectAs(zip, "x.zip").ArcType, atZip);
  EXPECT_EQ(DetectAs(Stub(5000) + zip, "x.jar").ArcType, atZipExe);
  TArchiveDetection j = DetectAs(zip, "x.j05");
  EXPECT_EQ(j.ArcType, atZip);  // only ".jar" makes a JAR
  EXPECT_EQ(j.VolumeNumber, 0);

  std::string arj = "\x60\xEA" + U16(30) + std::string(30 + 6, 'a');
  Put(arj, 2 + 2 + 30 + 6, "\x60\xEA");
  arj.resize(120, 'b');
  TArchiveDetection d = DetectAs(arj, "x.a01");
  EXPECT_EQ(d.ArcType, atArj);
  EXPECT_EQ(d.VolumeNumber, 2);
  EXPECT_EQ(d.VolumeLetter, 'a');
  d = DetectAs(arj, "x.arj");
  EXPECT_EQ(d.VolumeNumber, 1);
  EXPECT_EQ(d.VolumeLetter, 'a');
  d = DetectAs(arj, "noext");
  EXPECT_EQ(d.VolumeNumber, 1);

  const std::string rar = "Rar!\x1A\x07" + std::string(40, '\0');
  d = DetectAs(rar, "x.r00");
  EXPECT_EQ(d.VolumeNumber, 1);
  EXPECT_EQ(d.VolumeLetter, 'r');
  d = DetectAs(rar, "x.rar");
  EXPECT_EQ(d.VolumeNumber, 0);
  EXPECT_EQ(d.VolumeLetter, 'q');
  d = DetectAs(rar, "x.r99999999999999999999");
  EXPECT_GT(d.VolumeNumber, 0);  // clamped, not overflowed

  d = DetectAs("\x11\x22\x33\x44\x55\x66\x77**ACE**" + std::string(30, 'a'), "x.c02");
  EXPECT_EQ(d.ArcType, atAce);
  EXPECT_EQ(d.VolumeNumber, 3);
  EXPECT_EQ(d.VolumeLetter, 'c');
  d = DetectAs(zip, "x.z07");
  EXPECT_EQ(d.VolumeNumber, 0);  // ZIP takes no volume number from its name
  EXPECT_EQ(d.VolumeLetter, 0);
}

TEST(Detect, AssignmentAndReevaluation) {
  TArchiveDetection d;
  AssignArchiveFile(d, "/no/such/file.zip");
  EXPECT_EQ(d.ArcType, atNA);
  EXPECT_TRUE(d.ArchiveFile.empty());

  testutil::TempDir dir;
  const std::string path = dir.file("a.zip");
  testutil::WriteFile(path, TinyZip());
  std::string backslashed = path;
  for (char& c : backslashed)
    if (c == '/') c = '\\';
  AssignArchiveFile(d, backslashed);
  EXPECT_EQ(d.ArchiveFile, path);
  EXPECT_EQ(d.ArcType, atZip);
  EXPECT_NE(d.ArchiveDate, 0u);

  testutil::WriteFile(path, "Rar!\x1A\x07" + std::string(40, '\0'));
  d.ArcType = atNA;
  EXPECT_EQ(ReevaluateArcType(d), atRar);
  testutil::Run("rm -f " + testutil::ShellQuote(path));
  EXPECT_EQ(ReevaluateArcType(d), atFileOpenErr);
  EXPECT_EQ(ArchiveCreationDate("/no/such/file"), kDefaultArchiveDate);
}

TEST_F(FixedDrive, SpannedDisksByDriveAndLabel) {
  // A later disk of a set: data first, an end record that is not disk 0.
  const std::string disk = std::string(64, 'd') + TinyZip("a.txt", "hello", 2);
  EXPECT_EQ(DetectAs(disk, "x.zip").ArcType, atZipMV);
  Fake(plat::DriveType::Removable, "PKBACK# 003");
  EXPECT_EQ(DetectAs(disk, "x.zip").ArcType, atZipDS);
  Fake(plat::DriveType::Removable, "MYSTICK");
  EXPECT_EQ(DetectAs(disk, "x.zip").ArcType, atZipMV);
  // A spanning marker at the start goes to the drive check directly.
  Fake(plat::DriveType::Removable, "pkback# 001");
  TArchiveDetection d = DetectAs("PK\x07\x08" + TinyZip(), "x.zip");
  EXPECT_EQ(d.ArcType, atZipDS);
  EXPECT_NE(d.ZipStructureFlags, 0);
  plat::SetDriveQueryHook([](const std::string&, plat::DriveInfo&, bool) { return false; });
  EXPECT_EQ(CheckSpannedDisk("/somewhere/x.zip"), atNA);
}

TEST(Detect, EncipheredHeaders) {
  // Local and central headers enciphered with the fixed header keys, the end
  // record in its normal form (as this engine writes them).
  std::string zip = TinyZip("secret.txt", "data!");
  auto* p = reinterpret_cast<uint8_t*>(zip.data());
  const size_t central = kLocalHeaderSize + 10 + 5;
  p[1] = p[central + 1] = 'L';
  EncryptHeaderRecord(p, hrLocal);
  EncryptHeaderRecord(p + central, hrCentral);
  TArchiveDetection d = DetectMem(zip);
  EXPECT_EQ(d.ArcType, atZip);
  EXPECT_EQ(d.ZipStructureFlags, htLocal | htCentral | htEnding);
  TCentralHeader c;
  c.Read(d.CentralHeader.data());  // the copy holds the deciphered body
  EXPECT_EQ(c.NameLength, 10);
  EXPECT_EQ(c.UncompressedSize, 5u);

  // An enciphered end record is deciphered before its offsets are used.
  uint8_t* e = p + zip.size() - kEndRecordSize;
  e[1] = 'L';
  EncryptHeaderRecord(e, hrEnding);
  d = DetectMem(zip);
  EXPECT_EQ(d.ZipStructureFlags, htLocal | htCentral | htEnding);
  EXPECT_EQ(d.ArcStartOffset, static_cast<int64_t>(central));
}

TEST(PeStrings, ReadsStringTableAndRejectsOthers) {
  // A minimal PE32 image: one ".rsrc" section at file 0x200 with a string
  // table whose string 1 is "5000" and string 2 is "1234567".
  std::string pe(0x400, '\0');
  Put(pe, 0, "MZ");
  Put(pe, 0x3C, U32(0x40));
  Put(pe, 0x40, std::string("PE\0\0", 4) + U16(0x14C) + U16(1));
  Put(pe, 0x40 + 20, U16(224));
  const size_t opt = 0x40 + 24;
  Put(pe, opt, U16(0x10B));
  Put(pe, opt + 92, U32(16));
  Put(pe, opt + 112, U32(0x1000) + U32(0x200));
  const size_t sec = opt + 224;
  Put(pe, sec, ".rsrc");
  Put(pe, sec + 8, U32(0x200) + U32(0x1000) + U32(0x200) + U32(0x200));
  const size_t rs = 0x200;
  Put(pe, rs + 14, U16(1));  // root: one id entry
  Put(pe, rs + 16, U32(6) + U32(0x80000000u | 0x18));
  Put(pe, rs + 0x18 + 14, U16(1));  // type 6: block 1
  Put(pe, rs + 0x18 + 16, U32(1) + U32(0x80000000u | 0x30));
  Put(pe, rs + 0x30 + 14, U16(1));  // one language
  Put(pe, rs + 0x30 + 16, U32(0x409) + U32(0x48));
  Put(pe, rs + 0x48, U32(0x1000 + 0x58) + U32(0x100));
  std::string block = U16(0) + U16(4);
  for (char ch : std::string("5000")) block += U16(static_cast<uint8_t>(ch));
  block += U16(7);
  for (char ch : std::string("1234567")) block += U16(static_cast<uint8_t>(ch));
  Put(pe, rs + 0x58, block);

  TMemorySource src(pe.data(), static_cast<int64_t>(pe.size()));
  TPeStringTable table;
  ASSERT_TRUE(table.Open(src));
  EXPECT_EQ(table.LoadString(1, 5), "5000");
  EXPECT_EQ(table.LoadString(2, 5), "12345");
  EXPECT_EQ(table.LoadString(0, 5), "");
  EXPECT_EQ(table.LoadString(3, 5), "");
  EXPECT_EQ(table.LoadString(40, 5), "");

  // The stub's string names where its archive starts.
  std::string sfx = pe;
  Put(sfx, 5000, "Rar!\x1A\x07\x00" + std::string(40, '\0'));
  TArchiveDetection d = DetectMem(sfx);
  EXPECT_EQ(d.ArcType, atRarExe);
  EXPECT_EQ(d.ArcStartOffset, 5000);
  // Classified atUnsupported there: detection still ends with it.
  Put(sfx, 5000, "HA\x01\x00");
  EXPECT_EQ(DetectMem(sfx).ArcType, atUnsupported);

  // Not a PE image, or a PE header cut short.
  const std::string mz = Stub(400);
  TMemorySource notPe(mz.data(), static_cast<int64_t>(mz.size()));
  EXPECT_FALSE(table.Open(notPe));
  EXPECT_EQ(table.LoadString(1, 5), "");
  TMemorySource cut(pe.data(), 0x90);
  EXPECT_FALSE(table.Open(cut));
}

TEST(Detect, HostileZipTailsStopCleanly) {
  const std::string zip = TinyZip();
  const size_t endAt = zip.size() - kEndRecordSize;
  auto withEnd = [&](auto edit) {
    std::string z = zip;
    edit(reinterpret_cast<uint8_t*>(z.data()) + endAt);
    return DetectMem(z);
  };
  // Directory offset and size pointing far outside the file.
  TArchiveDetection d = withEnd([](uint8_t* e) {
    Put32(e + 12, 0xFFFFFFF0u);
    Put32(e + 16, 0xFFFFFFF0u);
  });
  EXPECT_EQ(d.ArcType, atZip);
  EXPECT_TRUE(d.ZipStructureFlags & htEnding);
  EXPECT_FALSE(d.ZipStructureFlags & htCentral);

  // The large form with an offset near 2^63 and 2^64.
  for (uint64_t off : {0x7FFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFFull, 0x8000000000000000ull}) {
    std::string z = zip.substr(0, endAt);
    uint8_t e[kLargeEndRecordSize] = {};
    TEndRecord big;
    big.Signature = kLargeEndSig;
    big.DirectorySize = 51;
    big.DirectoryOffset = off;
    big.Write(e);
    z += std::string(reinterpret_cast<char*>(e), sizeof e);
    d = DetectMem(z);
    EXPECT_EQ(d.ArcType, atZip);
    EXPECT_EQ(d.ArcStartOffset, 40);  // found where the record's size says
  }

  // A zip64 locator and record whose offsets do not fit.
  std::string z64 = zip.substr(0, endAt);
  uint8_t rec[kZip64EndRecordSize] = {};
  Put32(rec, kZip64EndSig);
  Put64(rec + 40, 0xFFFFFFFFFFFFFFFFull);
  uint8_t loc[kZip64LocatorSize] = {};
  Put32(loc, kZip64LocatorSig);
  Put64(loc + 8, 0x10);
  z64 += std::string(reinterpret_cast<char*>(rec), sizeof rec) + std::string(reinterpret_cast<char*>(loc), sizeof loc);
  std::string end = zip.substr(endAt);
  Put(end, 12, U32(51 + 76));  // the directory lies before the zip64 records
  z64 += end;
  d = DetectMem(z64);
  EXPECT_TRUE(d.ZipStructureFlags & htLocator);
  EXPECT_TRUE(d.ZipStructureFlags & htEnding64);

  // An end record cut short by the end of the file, and one alone in a tiny file.
  DetectMem(zip.substr(0, zip.size() - 10));
  DetectMem(std::string("PK\x05\x06", 4) + std::string(18, '\xFF'));
  DetectMem(std::string(30, '\0') + "PK\x05\x06");
  // A central header whose local offset wraps with the adjustment.
  d = withEnd([](uint8_t* e) { Put32(e + 16, 0x7FFFFFFFu); });
  EXPECT_EQ(d.ArcType, atZip);
  EXPECT_EQ(d.ArcStartOffset, 40);
  EXPECT_FALSE(d.ZipStructureFlags & htLocal);
}

TEST(Detect, ScanLimitsAndStarts) {
  // Beyond eleven 32 KiB blocks nothing is found.
  std::string far = Stub(17000 + 11 * 32768 + 100);
  Put(far, far.size() - 50, "Rar!");
  EXPECT_EQ(DetectMem(far).ArcType, atNA);
  // A signature at the start of a scan at 0 does not stop it; a later one wins.
  std::string two(40000, '.');
  Put(two, 0, std::string("MSCF\0\0\0\0", 8));  // ends the first block, sets nothing
  Put(two, 33000, "Rar!");
  TArchiveDetection d;
  TMemorySource src(two.data(), static_cast<int64_t>(two.size()));
  TScanResult r = ScanForSignature(src, d, 0);
  EXPECT_EQ(r.Type, atRarExe);
  EXPECT_EQ(r.Offset, 33000);
  r = ScanForSignature(src, d, static_cast<int64_t>(two.size()));
  EXPECT_EQ(r.Type, atNA);
  // "**ACE**" too near the start for an archive to begin seven bytes earlier.
  std::string ace = "**ACE**" + std::string(50, '-');
  TMemorySource acesrc(ace.data(), static_cast<int64_t>(ace.size()));
  EXPECT_EQ(ScanForSignature(acesrc, d, 0).Type, atNA);
}
