// The bytes every writer produces, pinned: each format's writer and main
// method over one tree with fixed contents, dates and modes (the encryption
// headers from a fixed seed). A change to a writer's output shows here first;
// one that is meant changes the table, said in its commit.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <filesystem>

#include "engine/base/zidCrc.h"
#include "engine/base/zidFormats.h"
#include "engine/zip/zidCrypt.h"
#include "platform/hooks.h"
#include "support/writer_tree.h"

namespace {

namespace fs = std::filesystem;

struct Pinned {
  const char* format;
  zid::TCompressMethod method;
  zid::TDeflateType level;
  const char* password;
  bool encryptHeaders;
  const char* bytes;  // "size/crc32" of the archive
};

const Pinned kPinned[] = {
    {"zip", zid::cmStore, zid::dtDeflateN, "", false, "429061/a4ff87bd"},
    {"zip", zid::cmDeflate, zid::dtDeflateN, "", false, "110081/659d5ac1"},
    {"zip", zid::cmDeflate, zid::dtDeflateF, "", false, "125374/6990d715"},
    {"zip", zid::cmDeflate, zid::dtDeflateX, "", false, "107214/d4723335"},
    {"zip", zid::cmDeflate, zid::dtDeflateN, "secret", false, "110165/6e768d64"},
    {"zip", zid::cmDeflate, zid::dtDeflateN, "secret", true, "110165/84216046"},
    {"jar", zid::cmDeflate, zid::dtDeflateN, "", false, "110081/659d5ac1"},
    {"lha", zid::cmStore, zid::dtDeflateN, "", false, "428427/ae2173a0"},
    {"lha", zid::cmFrozen5, zid::dtDeflateN, "", false, "108732/0886dabe"},
    {"lha", zid::cmFrozen6, zid::dtDeflateN, "", false, "107927/55be79be"},
    {"bh", zid::cmStore, zid::dtDeflateN, "", false, "428435/ea6037ff"},
    {"bh", zid::cmDeflate, zid::dtDeflateN, "", false, "109455/49dd732b"},
    {"bh", zid::cmFuse, zid::dtDeflateN, "", false, "103618/cc3e1850"},
    {"bh", zid::cmDeflate, zid::dtDeflateN, "secret", false, "109539/36487e14"},
    {"bh", zid::cmFuse, zid::dtDeflateN, "secret", false, "103702/f8522462"},
    {"cab", zid::cmStore, zid::dtDeflateN, "", false, "428388/6e3cde39"},
    {"cab", zid::cmMsZip, zid::dtDeflateN, "", false, "106047/6ef65365"},
};

// Every file and folder below src gets one date and one mode.
void FixStamps(const std::string& src) {
  const time_t when = 1262347200;  // 2010-01-01 12:00 UTC
  const utimbuf t{when, when};
  for (auto& e : fs::recursive_directory_iterator(src)) {
    chmod(e.path().c_str(), e.is_directory() ? 0755 : 0644);
    utime(e.path().c_str(), &t);
  }
  chmod(src.c_str(), 0755);
  utime(src.c_str(), &t);
}

TEST(WriterBytes, EachWriterAndMethodWritesThePinnedBytes) {
  testutil::TempDir tmp;
  const std::string src = testutil::MakeWriterTree(tmp, true);
  FixStamps(src);
  int n = 0;
  for (const Pinned& p : kPinned) {
    const zid::TFormat* f = zid::FormatByName(p.format);
    ASSERT_NE(f, nullptr);
    auto w = f->makeWriter();
    testutil::Quiet(*w);
    w->SetCompressMethod(p.method);
    ASSERT_EQ(w->GetCompressMethod(), p.method) << p.format;
    w->DeflateType = p.level;
    w->Password = p.password;
    w->StoreEmptySubDirs = true;
    if (f->setEncryptHeaders) f->setEncryptHeaders(*w, p.encryptHeaders);
    zid::SetCryptReseed(false);
    plat::RandSeed(27);
    const std::string arc = tmp.file("a" + std::to_string(n++) + "." + p.format);
    EXPECT_GT(testutil::AddTree(*w, arc, src), 0) << arc;
    zid::SetCryptReseed(true);
    const std::string bytes = testutil::ReadFile(arc);
    char got[32];
    std::snprintf(got, sizeof got, "%zu/%08x", bytes.size(), zid::Crc32Of(bytes.data(), static_cast<int64_t>(bytes.size())));
    EXPECT_EQ(got, std::string(p.bytes)) << p.format << " method " << int{p.method} << " level " << int{p.level}
                                         << " password " << p.password;
  }
}

}  // namespace
