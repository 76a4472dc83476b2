// TUnZip against archives of peer tools and the corpus: byte-exact output.
#include <filesystem>

#include <gtest/gtest.h>


#include "engine/zip/zidUnJar.h"
#include "platform/files.h"
#include "zip_fixture.h"

using testutil::ReadFile;
int Shell(const std::string& c, std::string* out = nullptr) { return testutil::Run(c, out); }
using testutil::ShellQuote;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

// A small tree of files: random bytes, text, an empty file, a nested folder.
void MakeTree(const std::string& root) {
  Shell("mkdir -p " + ShellQuote(root + "/sub/deeper") + " " + ShellQuote(root + "/empty"));
  WriteFile(root + "/random.bin", testutil::RandomBytes(150000, 7));
  WriteFile(root + "/text.txt", testutil::TextBytes(300000, 8));
  WriteFile(root + "/zero.dat", "");
  WriteFile(root + "/README", "no dot in this name\n");
  WriteFile(root + "/sub/deeper/inner.txt", testutil::TextBytes(5000, 9));
}

// Every file of the tree exists under `out` with the same bytes.
void ExpectSameTree(const std::string& src, const std::string& out) {
  for (const char* rel : {"random.bin", "text.txt", "zero.dat", "README", "sub/deeper/inner.txt"}) {
    ASSERT_TRUE(plat::FileExists(out + "/" + rel)) << rel;
    EXPECT_EQ(ReadFile(out + "/" + rel), ReadFile(src + "/" + rel)) << rel;
  }
}

void ExpectClean(const ziptest::Report& r) {
  EXPECT_TRUE(r.codes.empty()) << "first error code " << (r.codes.empty() ? 0 : r.codes[0]);
  EXPECT_EQ(r.stats.failed, 0);
  EXPECT_FALSE(r.stats.archiveFailed);
}

struct PeerCase {
  const char* tool;
  const char* command;  // run inside the source folder; %A is the archive
  const char* password;
};

}  // namespace

TEST(UnZipPeers, ExtractsByteExact) {
  const PeerCase cases[] = {
      {"zip", "zip -q -r -0 %A .", ""},
      {"zip", "zip -q -r -1 %A .", ""},
      {"zip", "zip -q -r -6 %A .", ""},
      {"zip", "zip -q -r -9 %A .", ""},
      {"zip", "zip -q -r -D -6 %A .", ""},  // no folder entries
      {"zip", "zip -q -r -P s3cret %A .", "s3cret"},
      {"7zz", "7zz a -bd -tzip -mm=Deflate %A . >/dev/null", ""},
      {"7zz", "7zz a -bd -tzip -mm=Deflate64 %A . >/dev/null", ""},
      {"7zz", "7zz a -bd -tzip -mm=Copy %A . >/dev/null", ""},
      {"7zz", "7zz a -bd -tzip -mem=ZipCrypto -ppw7 %A . >/dev/null", "pw7"},
      {"python3",
       "python3 -c \"import zipfile,os\nwith zipfile.ZipFile('%A','w',zipfile.ZIP_DEFLATED) as z:\n for d,_,fs in "
       "os.walk('.'):\n  for f in fs: z.write(os.path.join(d,f))\"",
       ""},
  };
  TempDir tmp;
  const std::string src = tmp.file("src");
  MakeTree(src);
  int n = 0;
  for (const PeerCase& c : cases) {
    SCOPED_TRACE(c.command);
    if (!testutil::HaveTool(c.tool)) continue;
    const std::string archive = tmp.file("a" + std::to_string(n) + ".zip");
    const std::string out = tmp.file("out" + std::to_string(n++));
    std::string cmd = c.command;
    cmd.replace(cmd.find("%A"), 2, archive);
    ASSERT_EQ(Shell("cd " + ShellQuote(src) + " && " + cmd), 0);
    ziptest::Report r = ziptest::Extract(archive, out, [&](zid::TUnZip& un) { un.Password = c.password; });
    ExpectClean(r);
    ExpectSameTree(src, out);
  }
}

TEST(UnZipPeers, JarFromJarTool) {
  REQUIRE_TOOL("jar");
  TempDir tmp;
  const std::string src = tmp.file("src");
  MakeTree(src);
  const std::string archive = tmp.file("a.jar");
  ASSERT_EQ(Shell("cd " + ShellQuote(src) + " && jar cf " + ShellQuote(archive) + " ."), 0);
  zid::TUnJar jar;
  ziptest::Report r = ziptest::Extract(
      archive, tmp.file("out"), [](zid::TUnZip& un) { un.CreateStoredDirs = true; }, false, &jar);
  ExpectClean(r);
  ExpectSameTree(src, tmp.file("out"));
  // META-INF/ has no folder attribute in a jar: it is a folder by its name.
  EXPECT_TRUE(plat::DirectoryExists(tmp.file("out/META-INF")));
  EXPECT_TRUE(plat::FileExists(tmp.file("out/META-INF/MANIFEST.MF")));
}

TEST(UnZipPeers, JarFolderRuleByName) {
  TempDir tmp;
  // Attributes 0 everywhere, as jar writers leave them.
  ziptest::Entry dir = ziptest::Plain("META-INF/", "");
  dir.externalAttr = 0;
  ziptest::Entry man = ziptest::Plain("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n");
  man.externalAttr = 0;
  WriteFile(tmp.file("t.jar"), ziptest::Build({dir, man}));
  zid::TUnJar jar;
  ziptest::Report r =
      ziptest::Extract(tmp.file("t.jar"), tmp.file("out"), [](zid::TUnZip& un) { un.CreateStoredDirs = true; },
                         false, &jar);
  ExpectClean(r);
  EXPECT_TRUE(plat::DirectoryExists(tmp.file("out/META-INF")));
  EXPECT_EQ(ReadFile(tmp.file("out/META-INF/MANIFEST.MF")), "Manifest-Version: 1.0\n");
}

TEST(UnZipPeers, UnixPermissionsAndLinks) {
  REQUIRE_TOOL("zip");
  TempDir tmp;
  const std::string src = tmp.file("src");
  Shell("mkdir -p " + ShellQuote(src));
  WriteFile(src + "/tool.sh", "#!/bin/sh\necho hi\n");
  WriteFile(src + "/secret.txt", "keep out\n");
  Shell("cd " + ShellQuote(src) + " && chmod 4755 tool.sh && chmod 600 secret.txt && ln -s secret.txt link");
  ASSERT_EQ(Shell("cd " + ShellQuote(src) + " && zip -q -y " + ShellQuote(tmp.file("u.zip")) + " tool.sh secret.txt link"),
            0);
  ziptest::Report r = ziptest::Extract(tmp.file("u.zip"), tmp.file("out"));
  ExpectClean(r);
  std::string mode;
  Shell("stat -c %a " + ShellQuote(tmp.file("out/tool.sh")) + " " + ShellQuote(tmp.file("out/secret.txt")), &mode);
  EXPECT_EQ(mode, "755\n600\n");  // never setuid
  // The link comes back as a link.
  EXPECT_EQ(Shell("test -L " + ShellQuote(tmp.file("out/link"))), 0);
  EXPECT_EQ(std::filesystem::read_symlink(tmp.file("out/link")).string(), "secret.txt");
}

// The shrink, reduce and implode samples of the corpus extract with a good CRC.
TEST(UnZipCorpus, LegacyMethods) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  const std::vector<std::string> names = {
      "commons__SHRUNK.ZIP",         "commons__imploding-4Kdict-2trees.zip", "commons__imploding-8Kdict-3trees.zip",
      "commons__lorem-ipsum-implode.zip", "commons__lorem-ipsum-deflate64.zip", "sharpcompress__Zip.reduce1.zip",
      "sharpcompress__Zip.reduce2.zip",   "sharpcompress__Zip.reduce3.zip",     "sharpcompress__Zip.reduce4.zip",
      "sharpcompress__Zip.shrink.zip",    "sharpcompress__Zip.implode.zip",     "sharpcompress__Zip.deflate64.zip",
      "sharpcompress__Infozip.nocomp.multi.zip"};
  int tried = 0;
  for (const std::string& name : names) {
    const std::string path = corpus + "/zip/" + name;
    if (!plat::FileExists(path)) continue;
    SCOPED_TRACE(name);
    ++tried;
    TempDir tmp;
    zid::TUnZip un;
    ziptest::Report r = ziptest::Extract(
        path, tmp.path(),
        [](zid::TUnZip& u) {
          u.OutputMode = zid::omTest;
          // A multi-volume set: the earlier volumes lie beside the last one.
          u.OnNextVolume = [](zid::TZipCommon*, std::string&, int, bool exists, bool& cancel) { cancel = !exists; };
        },
        true, &un);
    EXPECT_TRUE(r.codes.empty()) << r.codes[0];
    ASSERT_FALSE(r.ends.empty());
    for (auto& [file, pass] : r.ends) EXPECT_TRUE(pass) << file;
  }
  if (tried == 0) GTEST_SKIP() << "no legacy samples in the corpus";
}
