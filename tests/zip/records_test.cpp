// ZIP container records: layouts, round trips, extra fields, enciphered headers.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "engine/base/zidBytes.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidZipRecords.h"
#include "support/testutil.h"

using namespace zid;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> v) { return std::vector<uint8_t>(v.begin(), v.end()); }
std::string UtBlock() { return std::string("UT\x01\x00\x07", 5); }

}  // namespace

TEST(ZipBytes, LittleEndianHelpers) {
  uint8_t b[8];
  Put64(b, 0x0123456789ABCDEFull);
  EXPECT_EQ(Bytes({0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}), std::vector<uint8_t>(b, b + 8));
  EXPECT_EQ(Get16(b), 0xCDEF);
  EXPECT_EQ(Get32(b + 4), 0x01234567u);
  EXPECT_EQ(Get64(b), 0x0123456789ABCDEFull);
  Put16(b, 0xFFFE);
  Put32(b + 2, 0x80000001u);
  EXPECT_EQ(Get16(b), 0xFFFE);
  EXPECT_EQ(Get32(b + 2), 0x80000001u);
}

TEST(ZipRecords, SignaturesAndVariants) {
  EXPECT_TRUE(IsLocalSig(Get32("PK\x03\x04")));
  EXPECT_TRUE(IsLocalSig(Get32("PL\x03\x04")));
  EXPECT_TRUE(IsCentralSig(Get32("PL\x01\x02")));
  EXPECT_TRUE(IsEndSig(Get32("PK\x05\x06")));
  EXPECT_TRUE(IsLargeEndSig(Get32("P\x5C\x05\x06")));
  EXPECT_FALSE(IsEndSig(kLargeEndSig));
  EXPECT_TRUE(IsEncipheredSig(kEndSigEnc));
  EXPECT_TRUE(IsEncipheredSig(kLargeEndSigEnc));
  EXPECT_FALSE(IsEncipheredSig(kLocalSig));
  uint8_t m[4];
  WriteSpanMarker(m);
  EXPECT_EQ(Bytes({0x50, 0x4B, 0x07, 0x08}), std::vector<uint8_t>(m, m + 4));
  EXPECT_TRUE(IsSpanMarker(m));
}

TEST(ZipRecords, LocalAndCentralHeaderLayout) {
  TLocalHeader l;
  l.Flags = 0x0003;
  l.Method = 8;
  l.Time = 0x1234;
  l.Date = 0x5678;
  l.Crc32 = 0xCAFEBABE;
  l.CompressedSize = 0x11223344;
  l.UncompressedSize = 0x55667788;
  l.NameLength = 5;
  l.ExtraLength = 8;
  uint8_t b[kLocalHeaderSize];
  l.Write(b);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 4), "PK\x03\x04");
  EXPECT_EQ(Get16(b + 4), 20);
  EXPECT_EQ(Get16(b + 8), 8);
  EXPECT_EQ(Get32(b + 14), 0xCAFEBABEu);
  EXPECT_EQ(Get32(b + 22), 0x55667788u);
  EXPECT_EQ(Get16(b + 28), 8);
  TLocalHeader back;
  back.Read(b);
  EXPECT_EQ(back.Crc32, l.Crc32);
  EXPECT_EQ(back.CompressedSize, l.CompressedSize);
  EXPECT_EQ(back.NameLength, 5);

  // The writer copies local bytes 6..29 into central bytes 8..31.
  TCentralHeader c;
  c.CopyFromLocal(l);
  c.CommentLength = 3;
  c.ExternalAttr = 0x10;
  c.LocalHeaderOffset = 0xDEADBEEF;
  uint8_t cb[kCentralHeaderSize];
  c.Write(cb);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(cb + 8), 24), std::string(reinterpret_cast<char*>(b + 6), 24));
  EXPECT_EQ(Get16(cb + 4), 20);
  EXPECT_EQ(Get16(cb + 36), 1);  // internal attributes
  EXPECT_EQ(Get32(cb + 38), 0x10u);
  EXPECT_EQ(Get32(cb + 42), 0xDEADBEEFu);
  TCentralHeader cback;
  cback.Read(cb);
  EXPECT_EQ(cback.LocalHeaderOffset, 0xDEADBEEFu);
  EXPECT_EQ(cback.CommentLength, 3);
  EXPECT_EQ(cback.Method, 8);
}

TEST(ZipRecords, EndRecordsBothForms) {
  TEndRecord e;
  e.EntriesThisDisk = e.TotalEntries = 7;
  e.DirectorySize = 0x100;
  e.DirectoryOffset = 0x12345678;
  e.CommentLength = 2;
  uint8_t b[kLargeEndRecordSize] = {};
  e.Write(b);
  EXPECT_EQ(e.Size(), kEndRecordSize);
  EXPECT_EQ(Get32(b + 16), 0x12345678u);
  EXPECT_EQ(Get16(b + 20), 2);

  TEndRecord large;
  large.Signature = kLargeEndSig;
  large.DirectoryOffset = 0x0000123456789ABCull;
  large.CommentLength = 9;
  large.Write(b);
  EXPECT_EQ(large.Size(), kLargeEndRecordSize);
  EXPECT_EQ(Get64(b + 16), 0x0000123456789ABCull);
  EXPECT_EQ(Get16(b + 24), 9);
  TEndRecord back;
  back.Read(b);
  EXPECT_TRUE(back.Large());
  EXPECT_EQ(back.DirectoryOffset, large.DirectoryOffset);
  EXPECT_EQ(back.CommentLength, 9);
}

TEST(ZipRecords, Zip64RecordsRead) {
  uint8_t z[kZip64EndRecordSize] = {};
  Put32(z, kZip64EndSig);
  Put64(z + 40, 0x1122334455ull);
  Put64(z + 48, 0x99ull);
  TZip64EndRecord r;
  r.Read(z);
  EXPECT_EQ(r.DirectorySize, 0x1122334455ull);
  EXPECT_EQ(r.DirectoryOffset, 0x99ull);
}

TEST(ZipExtraField, Zip64ValuesOnlyForSaturatedFields) {
  // Central header: uncompressed saturated, compressed not, offset saturated.
  std::vector<uint8_t> x(4 + 16);
  Put16(x.data(), kExtraZip64);
  Put16(x.data() + 2, 16);
  Put64(x.data() + 4, 0xFFFF000100000002ull);  // only 48 bits count
  Put64(x.data() + 12, 0x0000000200000003ull);
  TEntrySizes s;
  s.UncompressedSize = 0xFFFFFFFF;
  s.CompressedSize = 10;
  s.LocalHeaderOffset = 0xFFFFFFFF;
  ParseExtraField(x.data(), x.size(), true, s);
  EXPECT_EQ(s.UncompressedSize, 0x000100000002ll);
  EXPECT_EQ(s.CompressedSize, 10);
  EXPECT_EQ(s.LocalHeaderOffset, 0x000200000003ll);

  // A local header never takes an offset from it.
  TEntrySizes t;
  t.UncompressedSize = 0xFFFFFFFF;
  t.CompressedSize = 0xFFFFFFFF;
  t.LocalHeaderOffset = 0xFFFFFFFF;
  ParseExtraField(x.data(), x.size(), false, t);
  EXPECT_EQ(t.UncompressedSize, 0x000100000002ll);
  EXPECT_EQ(t.CompressedSize, 0x000200000003ll);
  EXPECT_EQ(t.LocalHeaderOffset, 0xFFFFFFFFll);
}

// What the writer puts in a central header comes back through the reader,
// for each mix of values that fit in 32 bits and values that do not.
TEST(ZipExtraField, Zip64FieldsWrittenOnlyForWhatDoesNotFit) {
  const int64_t big = 0x0000123487654321ll, edge = 0xFFFFFFFFll, small = 0x10;
  const TEntrySizes cases[] = {{small, small, small}, {big, big, small}, {small, edge, big}, {edge, small, small}};
  for (const TEntrySizes& in : cases) {
    TCentralHeader ch;
    const std::string x = SetCentralSizes(ch, in);
    const int wide = (in.UncompressedSize >= edge) + (in.CompressedSize >= edge) + (in.LocalHeaderOffset >= edge);
    EXPECT_EQ(x.size(), wide == 0 ? 0u : 4u + 8u * wide);
    TEntrySizes out{ch.CompressedSize, ch.UncompressedSize, ch.LocalHeaderOffset};
    ParseExtraField(reinterpret_cast<const uint8_t*>(x.data()), x.size(), true, out);
    EXPECT_EQ(out.CompressedSize, in.CompressedSize);
    EXPECT_EQ(out.UncompressedSize, in.UncompressedSize);
    EXPECT_EQ(out.LocalHeaderOffset, in.LocalHeaderOffset);
  }
  // The local field holds both sizes, the header both saturated.
  EXPECT_FALSE(NeedsZip64Local(0xF0000000ll));
  EXPECT_TRUE(NeedsZip64Local(0xFFFF0000ll));
  TLocalHeader lh;
  uint8_t b[kZip64ExtraLocal];
  WriteZip64Local(b, lh, TEntrySizes{big, small, 0});
  EXPECT_EQ(lh.CompressedSize, 0xFFFFFFFFu);
  EXPECT_EQ(lh.UncompressedSize, 0xFFFFFFFFu);
  TEntrySizes out{lh.CompressedSize, lh.UncompressedSize, 0};
  ParseExtraField(b, sizeof b, false, out);
  EXPECT_EQ(out.CompressedSize, big);
  EXPECT_EQ(out.UncompressedSize, small);
  // The engine's old ID 100 field is still read: bits 32-47 as 16-bit words.
  const std::vector<uint8_t> old = Bytes({100, 0, 6, 0, 0xCD, 0xAB, 0x34, 0x12, 5, 0});
  TEntrySizes o{0x12345678, 0x87654321, 0x10};
  ParseExtraField(old.data(), old.size(), true, o);
  EXPECT_EQ(o.CompressedSize, 0x0000ABCD12345678ll);
  EXPECT_EQ(o.UncompressedSize, 0x0000123487654321ll);
  EXPECT_EQ(o.LocalHeaderOffset, 0x0000000500000010ll);
  EXPECT_EQ(WithoutSizeFields(std::string(old.begin(), old.end()) + UtBlock()), UtBlock());
}

// Times to the second: the UT field (written and read), the NTFS field (read;
// UT wins when both are there).
TEST(ZipExtraField, UnixAndNtfsTimes) {
  const std::string ut = UnixTimeExtra(1700000001);
  ASSERT_EQ(ut.size(), kUnixTimeExtraSize);
  EXPECT_EQ(ExtraUnixTime(reinterpret_cast<const uint8_t*>(ut.data()), ut.size()), 1700000001);
  std::vector<uint8_t> ntfs(36);
  Put16(ntfs.data(), 0x000A);
  Put16(ntfs.data() + 2, 32);
  Put16(ntfs.data() + 8, 1);
  Put16(ntfs.data() + 10, 24);
  Put64(ntfs.data() + 12, (1700000003ull + 11644473600ull) * 10000000ull + 1234);
  EXPECT_EQ(ExtraUnixTime(ntfs.data(), ntfs.size()), 1700000003);
  std::string both(ntfs.begin(), ntfs.end());
  both += ut;
  EXPECT_EQ(ExtraUnixTime(reinterpret_cast<const uint8_t*>(both.data()), both.size()), 1700000001);
  EXPECT_EQ(ExtraUnixTime(nullptr, 0), -1);
  EXPECT_TRUE(UnixTimeExtra(int64_t{1} << 40).empty());
}

TEST(ZipExtraField, UnknownSkippedAndOverlongStops) {
  // An unknown field, then ID 100, then an unknown field claiming 60000 bytes.
  std::vector<uint8_t> x = Bytes({0x55, 0x54, 3, 0, 1, 2, 3,  // "UT" with 3 bytes
                                  100, 0, 4, 0, 1, 0, 2, 0,   // ID 100: high words 1 and 2
                                  0x99, 0x99, 0x60, 0xEA});
  TEntrySizes s;
  ParseExtraField(x.data(), x.size(), false, s);
  EXPECT_EQ(s.CompressedSize, 1ll << 32);
  EXPECT_EQ(s.UncompressedSize, 2ll << 32);

  // A known field whose size runs past the end is not applied.
  std::vector<uint8_t> cut = Bytes({100, 0, 4, 0, 7, 0});
  TEntrySizes c;
  ParseExtraField(cut.data(), cut.size(), false, c);
  EXPECT_EQ(c.CompressedSize, 0);
  // Fragments shorter than a field header are ignored; zero length reads nothing.
  ParseExtraField(cut.data(), 3, false, c);
  ParseExtraField(nullptr, 0, true, c);
  EXPECT_EQ(c.UncompressedSize, 0);
}

TEST(ZipRecords, ParsesPythonZipfileOutput) {
  REQUIRE_TOOL("python3");
  testutil::TempDir dir;
  const std::string zip = dir.file("p.zip");
  ASSERT_EQ(testutil::Run("python3 -c \"import zipfile; z=zipfile.ZipFile('" + zip +
                          "','w',zipfile.ZIP_DEFLATED); z.writestr('hello.txt', 'hello '*100); "
                          "z.comment=b'note'; z.close()\""),
            0);
  const std::string data = testutil::ReadFile(zip);
  ASSERT_GT(data.size(), kLocalHeaderSize + kCentralHeaderSize + kEndRecordSize);
  const auto* p = reinterpret_cast<const uint8_t*>(data.data());
  TLocalHeader l;
  l.Read(p);
  EXPECT_EQ(l.Signature, kLocalSig);
  EXPECT_EQ(l.Method, 8);
  EXPECT_EQ(l.UncompressedSize, 600u);
  EXPECT_EQ(std::string(data, kLocalHeaderSize, l.NameLength), "hello.txt");
  TEndRecord e;
  e.Read(p + data.size() - kEndRecordSize - 4);
  EXPECT_EQ(e.Signature, kEndSig);
  EXPECT_EQ(e.TotalEntries, 1);
  EXPECT_EQ(e.CommentLength, 4);
  TCentralHeader c;
  c.Read(p + e.DirectoryOffset);
  EXPECT_EQ(c.Signature, kCentralSig);
  EXPECT_EQ(c.Crc32, l.Crc32);
  EXPECT_EQ(c.CompressedSize, l.CompressedSize);
  EXPECT_EQ(c.LocalHeaderOffset, 0u);
  EXPECT_EQ(e.DirectorySize, kCentralHeaderSize + c.NameLength + c.ExtraLength + c.CommentLength);
}
