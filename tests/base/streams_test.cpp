// File, memory and filter streams: copy loop, cancel, shared sources,
// capacity steps and the refusal of bad counts and seeks.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidCrc.h"
#include "engine/base/zidFilterStreams.h"
#include "engine/base/zidGbls.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidCrypt.h"
#include "platform/hooks.h"
#include "support/raw_deflate.h"
#include "support/testutil.h"

namespace zid {
namespace {

using testutil::RandomBytes;
using testutil::TextBytes;

// Raw Deflate through zlib directly, independent of the filters under test.
std::string RawDeflate(const std::string& in, int level = 6) {
  int status = 0;
  std::string out = testutil::RawDeflate(in, level, &status);
  EXPECT_EQ(status, Z_STREAM_END);
  return out;
}

std::string RawInflate(const std::string& in) {
  z_stream zs{};
  inflateInit2(&zs, -15);
  std::string out;
  char buf[65536];
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  int r;
  do {
    zs.next_out = reinterpret_cast<Bytef*>(buf);
    zs.avail_out = sizeof buf;
    r = inflate(&zs, Z_NO_FLUSH);
    out.append(buf, sizeof buf - zs.avail_out);
  } while (r == Z_OK);
  inflateEnd(&zs);
  EXPECT_EQ(r, Z_STREAM_END);
  return out;
}

void Fill(TMemoryStream32& m, const std::string& s) {
  m.Clear();
  m.WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
  m.SetPosition(0);
}

std::string Contents(TCustomMemoryStream32& m) {
  return std::string(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

// Restores the quiet message pump whatever the test did.
struct PumpGuard {
  ~PumpGuard() { plat::SetProcessMessagesHook(nullptr); }
};

// ------------------------------------------------------------- copy loop

TEST(StreamCopy, CountZeroCopiesWholeSourceFromItsStart) {
  const std::string data = RandomBytes(300000, 1);
  TMemoryStream32 src, dst;
  Fill(src, data);
  src.SetPosition(123456);
  EXPECT_EQ(dst.CopyFrom(src, 0), static_cast<int64_t>(data.size()));
  EXPECT_EQ(Contents(dst), data);
}

TEST(StreamCopy, CancelStopsBeforeTheNextChunk) {
  PumpGuard guard;
  const std::string data = RandomBytes(5 * kCopyChunkSize, 2);
  TMemoryStream32 src, dst;
  Fill(src, data);
  bool cancel = false;
  dst.Cancel = &cancel;
  int pumps = 0;
  plat::SetProcessMessagesHook([&] {
    if (++pumps == 2) cancel = true;  // the user presses Cancel during the first chunk
  });
  int64_t reported = 0;
  dst.ProgressProc = [&](int64_t n) { reported += n; };
  EXPECT_EQ(dst.CopyFrom(src, static_cast<int64_t>(data.size())), kCopyChunkSize);
  EXPECT_EQ(dst.Size(), kCopyChunkSize);
  EXPECT_EQ(reported, kCopyChunkSize);
}

TEST(StreamCopy, ShortSourceAndBadCountsEndTheCopy) {
  TMemoryStream32 src, dst;
  Fill(src, "0123456789");
  EXPECT_EQ(dst.CopyFrom(src, -3), 0);
  src.SetPosition(4);
  EXPECT_EQ(dst.CopyFrom(src, 1000), 6);  // does not spin on the missing rest
  EXPECT_EQ(Contents(dst), "456789");
}

TEST(StreamCopy, ShortWriteRaises) {
  TMemoryStream32 src;
  Fill(src, "abc");
  THandleStream32 closed(plat::kNoHandle);
  EXPECT_THROW(closed.CopyFrom(src, 0), E_RAISE);
}

// ------------------------------------------------------ handle and file

TEST(FileStream, InvalidHandleRefusesEverything) {
  testutil::TempDir dir;
  TFileStream32 missing(dir.file("none"), plat::fmOpenRead);
  EXPECT_LT(missing.Handle(), 0);
  char buf[4];
  EXPECT_EQ(missing.Read(buf, 4), 0);
  EXPECT_EQ(missing.Write(buf, 4), 0);
  EXPECT_EQ(missing.Seek(0, plat::soFromEnd), -1);
  EXPECT_EQ(missing.Size(), -1);
  missing.SetSize(10);
  try {
    missing.ReadBuffer(buf, 4);
    FAIL();
  } catch (const E_RAISE& e) {
    EXPECT_EQ(std::string(e.what()), LoadStr(E_READERROR));
  }
  try {
    missing.WriteBuffer(buf, 4);
    FAIL();
  } catch (const E_RAISE& e) {
    EXPECT_EQ(std::string(e.what()), LoadStr(E_WRITEERROR));
  }
}

TEST(FileStream, CreateWriteSeekTruncateAndOnRead) {
  testutil::TempDir dir;
  const std::string name = dir.file("f.bin");
  {
    TFileStream32 f(name, plat::fmCreate);
    ASSERT_GE(f.Handle(), 0);
    f.WriteBuffer("hello world", 11);
    EXPECT_EQ(f.Size(), 11);
    f.SetSize(5);
    EXPECT_EQ(f.Size(), 5);
    EXPECT_EQ(f.Seek(-1, plat::soFromBeginning), -1);
    EXPECT_EQ(f.Position(), 5);
  }
  EXPECT_EQ(testutil::ReadFile(name), "hello");
  TFileStream32 r(name, plat::fmOpenRead | plat::fmShareDenyNone);
  int64_t remaining = 5;
  int64_t fired = 0;
  r.Remaining = &remaining;
  r.OnRead = [&](int64_t n) { fired += n; };
  char buf[16];
  EXPECT_EQ(r.Read(buf, 16), 5);
  EXPECT_EQ(r.Read(buf, 16), 0);
  EXPECT_EQ(remaining, 0);  // actual counts: the counter ends at zero
  EXPECT_EQ(fired, 5);
}

// --------------------------------------------------------------- memory

TEST(MemoryStream, CapacityMovesInSteps) {
  TMemoryStream32 m;
  EXPECT_EQ(m.Capacity(), 0);
  m.WriteBuffer("x", 1);
  EXPECT_EQ(m.Capacity(), 8192);
  const std::string block(8192, 'y');
  m.WriteBuffer(block.data(), 8192);
  EXPECT_EQ(m.Size(), 8193);
  EXPECT_EQ(m.Capacity(), 16384);
  m.SetSize(100);
  EXPECT_EQ(m.Capacity(), 8192);
  EXPECT_EQ(m.Position(), 100);  // was past the new end
  EXPECT_EQ(Contents(m), "x" + std::string(99, 'y'));
  m.SetSize(0);
  EXPECT_EQ(m.Capacity(), 0);
  EXPECT_EQ(m.Memory(), nullptr);
}

TEST(MemoryStream, NegativeCountsAndPositionsMoveNothing) {
  TMemoryStream32 m;
  Fill(m, "abcdef");
  char buf[8] = {};
  EXPECT_EQ(m.Write("zz", -2), 0);
  EXPECT_EQ(m.Read(buf, -1), 0);
  EXPECT_EQ(m.Seek(-7, plat::soFromEnd), -1);
  EXPECT_EQ(m.Position(), 0);
  EXPECT_EQ(m.Seek(INT64_MAX, plat::soFromBeginning), INT64_MAX);
  EXPECT_EQ(m.Seek(1, plat::soFromCurrent), -1);  // no overflow
  EXPECT_EQ(m.Read(buf, 4), 0);
  EXPECT_EQ(m.Write("q", 1), 0);  // far past the end: refused, not a wrap-around
  EXPECT_EQ(Contents(m), "abcdef");
  // A gap left by a seek past the end reads as zeros.
  m.Seek(8, plat::soFromBeginning);
  m.WriteBuffer("!", 1);
  EXPECT_EQ(Contents(m), std::string("abcdef\0\0!", 9));
  EXPECT_THROW(m.SetCapacity(INT64_MAX), E_RAISE);
}

TEST(MemoryStream, CustomStreamReadsForeignBlockOnly) {
  char block[] = "block";
  TCustomMemoryStream32 c;
  c.SetPointer(block, 5);
  EXPECT_EQ(c.Write("zz", 2), 0);
  std::string out(5, '\0');
  c.ReadBuffer(out.data(), 5);
  EXPECT_EQ(out, "block");
}

// -------------------------------------------------------------- filters

TEST(CompressStream, RoundTripAtEveryLevelWithCrcAndTotals) {
  const std::string text = TextBytes(400000, 3);
  size_t fastSize = 0;
  for (int level : {0, 1, 2, 3}) {
    TMemoryStream32 out;
    out.WriteBuffer("HDR", 3);  // the filter starts where the stream stands
    uint32_t crc;
    int64_t in;
    {
      TCompressStream c(out, CodecControl{}, level);
      ASSERT_FALSE(c.Failed());
      for (size_t pos = 0; pos < text.size(); pos += 50000)
        EXPECT_EQ(c.Write(text.data() + pos, static_cast<int64_t>(std::min<size_t>(50000, text.size() - pos))),
                  static_cast<int64_t>(std::min<size_t>(50000, text.size() - pos)));
      EXPECT_EQ(c.Seek(0, plat::soFromCurrent), static_cast<int64_t>(text.size()));
      EXPECT_EQ(c.Seek(1, plat::soFromCurrent), -1);
      EXPECT_EQ(c.Read(nullptr, 1), -1);
      c.Finish();
      EXPECT_EQ(c.TotalOut(), out.Size() - 3);
      crc = c.Crc();
      in = c.TotalIn();
    }
    EXPECT_EQ(in, static_cast<int64_t>(text.size()));
    EXPECT_EQ(crc ^ 0xFFFFFFFFu, Crc32Of(text.data(), static_cast<int64_t>(text.size())));
    const std::string all = Contents(out);
    EXPECT_EQ(all.substr(0, 3), "HDR");
    EXPECT_EQ(RawInflate(all.substr(3)), text);
    if (level == 1) fastSize = all.size();
    if (level == 3) {
      EXPECT_LE(all.size(), fastSize);
    }
  }
}

TEST(CompressStream, OffsetsBeyond32BitRaiseRangeCheck) {
  TMemoryStream32 out;
  TCompressStream c(out, CodecControl{}, 2);
  try {
    c.Seek(int64_t{1} << 32, plat::soFromBeginning);
    FAIL();
  } catch (const E_RAISE& e) {
    EXPECT_STREQ(e.what(), "Range check error");
  }
  TMemoryStream32 src;
  Fill(src, RawDeflate("x"));
  TDecompressStream d(src, CodecControl{});
  EXPECT_THROW(d.Seek(-(int64_t{1} << 31) - 1, plat::soFromCurrent), E_RAISE);
}

TEST(DecompressStream, DestroyedAfterPartialReadLeavesSourceBehindConsumedInput) {
  const std::string text = TextBytes(2000000, 4);
  const std::string packed = RawDeflate(text);
  TMemoryStream32 src;
  Fill(src, "PRE" + packed + "TAIL");
  src.SetPosition(3);
  int64_t consumed;
  {
    TDecompressStream d(src, CodecControl{});
    std::string out(1000, '\0');
    EXPECT_EQ(d.Read(out.data(), 1000), 1000);
    EXPECT_EQ(out, text.substr(0, 1000));
    EXPECT_GT(d.Buffered(), 0);
    consumed = d.TotalIn();
  }
  EXPECT_EQ(src.Position(), 3 + consumed);
  EXPECT_LT(consumed, static_cast<int64_t>(packed.size()));

  // Read to the end: the source stands exactly on what follows the data.
  src.SetPosition(3);
  {
    TDecompressStream d(src, CodecControl{});
    std::string out(text.size() + 10, '\0');
    EXPECT_EQ(d.Read(out.data(), static_cast<int64_t>(out.size())), static_cast<int64_t>(out.size()));
    EXPECT_TRUE(d.Finished());
    EXPECT_EQ(d.TotalOut(), static_cast<int64_t>(text.size()));
    EXPECT_EQ(out.substr(0, text.size()), text);
  }
  char tail[4];
  src.ReadBuffer(tail, 4);
  EXPECT_EQ(std::string(tail, 4), "TAIL");
}

TEST(DecompressStream, TwoFiltersShareOneSource) {
  const std::string a = TextBytes(500000, 5), b = TextBytes(400000, 6);
  const std::string pa = RawDeflate(a), pb = RawDeflate(b);
  TMemoryStream32 src;
  Fill(src, pa + pb);
  TDecompressStream da(src, CodecControl{});
  src.SetPosition(static_cast<int64_t>(pa.size()));
  TDecompressStream db(src, CodecControl{});
  std::string oa, ob;
  char buf[7000];
  while (!da.Finished() || !db.Finished()) {
    for (auto [d, o] : {std::pair{&da, &oa}, std::pair{&db, &ob}}) {
      if (d->Finished()) continue;
      const int64_t before = d->TotalOut();
      ASSERT_GE(d->Read(buf, sizeof buf), 0);
      o->append(buf, static_cast<size_t>(d->TotalOut() - before));
      src.SetPosition(0);  // somebody else moves the shared stream
    }
  }
  EXPECT_EQ(oa, a);
  EXPECT_EQ(ob, b);
}

TEST(DecompressStream, TruncatedAndCorruptInputGiveNegativeCodes) {
  const std::string text = TextBytes(100000, 8);
  const std::string packed = RawDeflate(text);
  TMemoryStream32 src;
  Fill(src, packed.substr(0, packed.size() / 2));
  TDecompressStream d(src, CodecControl{});
  std::string out(text.size(), '\0');
  EXPECT_EQ(d.Read(out.data(), static_cast<int64_t>(out.size())), -5);
  EXPECT_FALSE(d.Finished());

  TMemoryStream32 bad;
  Fill(bad, std::string("\xff\xff\xff\xff\xff\xff", 6));
  TDecompressStream e(bad, CodecControl{});
  EXPECT_EQ(e.Read(out.data(), 100), -3);
  EXPECT_EQ(e.Read(out.data(), 100), -3);  // stays failed
  EXPECT_EQ(e.Read(out.data(), -1), 0);
}

TEST(DecompressStream, SeeksRestartAndDiscard) {
  const std::string text = TextBytes(50000, 9);
  TMemoryStream32 src;
  Fill(src, "xx" + RawDeflate(text));
  src.SetPosition(2);
  TDecompressStream d(src, CodecControl{});
  EXPECT_EQ(d.Seek(20000, plat::soFromCurrent), 20000);
  char buf[10];
  d.ReadBuffer(buf, 10);
  EXPECT_EQ(std::string(buf, 10), text.substr(20000, 10));
  EXPECT_EQ(d.Seek(5, plat::soFromBeginning), 20010);  // backward: ignored
  EXPECT_EQ(d.Seek(0, plat::soFromBeginning), 0);
  d.ReadBuffer(buf, 10);
  EXPECT_EQ(std::string(buf, 10), text.substr(0, 10));
}

TEST(Filters, EncryptedCompressionDecryptsAndInflates) {
  const std::string text = TextBytes(300000, 10);
  const uint32_t crc = Crc32Of(text.data(), static_cast<int64_t>(text.size()));
  TMemoryStream32 arc;
  TCryptKeys keys{};
  keys.Init("pw");
  {
    CodecControl ctl;
    ctl.Keys = &keys;
    ctl.Crc = crc ^ 0xFFFFFFFFu;
    TCompressStream c(arc, ctl, 2);
    c.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    c.Finish();
    EXPECT_EQ(c.Crc(), crc ^ 0xFFFFFFFFu);  // untouched: pre-computed
  }
  std::string enc = Contents(arc);
  EXPECT_NE(enc, RawDeflate(text));
  arc.SetPosition(0);
  keys.Init("pw");
  CodecControl ctl;
  ctl.Keys = &keys;
  TDecompressStream d(arc, ctl);
  std::string out(text.size(), '\0');
  d.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
  EXPECT_EQ(out, text);
}

TEST(Filters, StoreStreamChecksumsAndEnciphersACopy) {
  const std::string data = RandomBytes(250000, 11);
  for (int kind : {int{ckCrc16}, int{ckCrc32}, 0}) {
    TMemoryStream32 src, dst;
    Fill(src, data);
    int64_t remaining = static_cast<int64_t>(data.size());
    CodecControl ctl;
    ctl.Remaining = &remaining;
    TStoreStream s(dst, ctl, kind);
    EXPECT_EQ(s.CopyAll(src), static_cast<int64_t>(data.size()));
    EXPECT_EQ(Contents(dst), data);
    EXPECT_EQ(remaining, 0);
    uint32_t expected = 0;
    if (kind == ckCrc16) expected = Crc16Of(data.data(), static_cast<int64_t>(data.size()));
    if (kind == ckCrc32) expected = Crc32Of(data.data(), static_cast<int64_t>(data.size())) ^ 0xFFFFFFFFu;
    EXPECT_EQ(s.Crc(), expected) << "kind " << kind;
  }
  // Enciphered output; the caller's buffer is left alone.
  TMemoryStream32 dst;
  std::string plain = "secret text";
  const std::string copy = plain;
  TCryptKeys keys{};
  keys.Init("k");
  CodecControl ctl;
  ctl.Keys = &keys;
  ctl.Crc = 0xABCD;
  TStoreStream s(dst, ctl, ckCrc32);
  s.WriteBuffer(plain.data(), static_cast<int64_t>(plain.size()));
  EXPECT_EQ(plain, copy);
  EXPECT_EQ(s.Crc(), 0xABCDu);
  std::string back = Contents(dst);
  keys.Init("k");
  keys.Decrypt(back.data(), static_cast<int64_t>(back.size()));
  EXPECT_EQ(back, plain);
}

TEST(Filters, CalcStreamCrcPrePass) {
  TMemoryStream32 empty;
  EXPECT_EQ(CalcStreamCrc32(empty, CodecControl{}, nullptr, nullptr, 0), 0xFFFFFFFFu);

  const std::string data = RandomBytes(400000, 12);
  TMemoryStream32 src;
  Fill(src, data);
  src.SetPosition(777);
  int64_t remaining = 400000, reported = 0;
  CodecControl ctl;
  ctl.Remaining = &remaining;
  const uint32_t raw = CalcStreamCrc32(src, ctl, nullptr, [&](int64_t n) { reported += n; }, 0);
  EXPECT_EQ(raw ^ 0xFFFFFFFFu, Crc32Of(data.data(), static_cast<int64_t>(data.size())));
  EXPECT_EQ(src.Position(), 0);
  EXPECT_EQ(reported, 400000);
  EXPECT_EQ(remaining, 0);

  TCalcStreamCRC c16(src, nullptr, nullptr, CodecControl{}, ckCrc16, 100);
  EXPECT_EQ(c16.Crc(), Crc16Of(data.data(), 100));
}

}  // namespace
}  // namespace zid
