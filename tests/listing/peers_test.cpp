// Listings of archives made by peer writers (Info-ZIP zip, 7-Zip, python
// zipfile) agree with what unzip -Z -v and 7zz l -slt say of them: every
// name, size and CRC.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "listing/listing_helpers.h"
#include "support/testutil.h"

using listing_test::ListArchive;
using listing_test::ListResult;
using testutil::ShellQuote;

namespace {

struct PeerEntry {
  int64_t packed = -1;
  int64_t unpacked = -1;
  uint32_t crc = 0;
  bool folder = false;
};

using PeerListing = std::map<std::string, PeerEntry>;

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  size_t b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// "Key = value" blocks of 7zz l -slt; the first block (the archive) is skipped.
PeerListing Parse7z(const std::string& text) {
  PeerListing out;
  std::istringstream in(text.substr(text.find("----------")));
  std::string line, path;
  PeerEntry e;
  auto flush = [&] {
    if (!path.empty()) out[path + (e.folder ? "/" : "")] = e;
    path.clear();
    e = PeerEntry();
  };
  while (std::getline(in, line)) {
    const size_t eq = line.find(" = ");
    if (eq == std::string::npos) {
      if (Trim(line).empty()) flush();
      continue;
    }
    const std::string key = line.substr(0, eq), value = Trim(line.substr(eq + 3));
    if (key == "Path") path = value;
    else if (key == "Size") e.unpacked = std::stoll(value);
    else if (key == "Packed Size") e.packed = value.empty() ? 0 : std::stoll(value);
    else if (key == "CRC") e.crc = value.empty() ? 0 : static_cast<uint32_t>(std::stoul(value, nullptr, 16));
    else if (key == "Folder") e.folder = value == "+";
  }
  flush();
  return out;
}

// The per-entry blocks of unzip -Z -v: the name below the entry title, then
// the CRC and both sizes.
PeerListing ParseZipinfo(const std::string& text) {
  PeerListing out;
  std::istringstream in(text);
  std::string line, name;
  PeerEntry e;
  while (std::getline(in, line)) {
    if (line.rfind("Central directory entry #", 0) == 0) {
      if (!name.empty()) out[name] = e;
      std::getline(in, line);  // dashes
      // The name is the first line with text, after a note on data descriptors if any.
      name.clear();
      while (name.empty() && std::getline(in, line)) {
        name = Trim(line);
        if (name.rfind("There are an extra", 0) == 0) name.clear();
      }
      e = PeerEntry();
      e.folder = !name.empty() && name.back() == '/';
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, colon)), value = Trim(line.substr(colon + 1));
    if (key == "32-bit CRC value (hex)") e.crc = static_cast<uint32_t>(std::stoul(value, nullptr, 16));
    else if (key == "compressed size") e.packed = std::stoll(value);
    else if (key == "uncompressed size") e.unpacked = std::stoll(value);
  }
  if (!name.empty()) out[name] = e;
  return out;
}

// Our listing must hold exactly the peer's entries with the same values.
// Peer packed sizes include the 12-byte encryption header.
void ExpectAgrees(const ListResult& ours, const PeerListing& peer, const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_TRUE(ours.ok);
  EXPECT_TRUE(ours.errors.empty());
  ASSERT_EQ(ours.entries.size(), peer.size());
  for (const auto& e : ours.entries) {
    auto it = peer.find(e.name);
    ASSERT_NE(it, peer.end()) << "not listed by the peer: " << e.name;
    const PeerEntry& p = it->second;
    const int64_t packed = e.encrypted && p.packed >= 12 ? e.packed + 12 : e.packed;
    EXPECT_EQ(packed, p.packed) << e.name;
    EXPECT_EQ(e.unpacked, p.unpacked) << e.name;
    EXPECT_EQ(e.crc, p.crc) << e.name;
  }
}

ListResult ListWithDirs(const std::string& path) {
  return ListArchive(path, [](zid::TRizER& r) { r.ShowEmptyDirs = true; });
}

// A tree with folders, an empty folder, an empty file, text, random data and UTF-8 names.
void MakeTree(const std::string& root) {
  testutil::WriteFile(root + "/docs/readme.txt", testutil::TextBytes(20000, 1));
  testutil::WriteFile(root + "/docs/empty.dat", "");
  testutil::WriteFile(root + "/bin/random.bin", testutil::RandomBytes(7000, 2));
  testutil::WriteFile(root + "/Ünïcödé/naïve café.txt", "accented\n");
  testutil::WriteFile(root + "/日本/テスト.txt", "kana\n");
  testutil::Run("mkdir -p " + ShellQuote(root + "/void/inner"));
}

int Sh(const std::string& cmd, std::string* out = nullptr) { return testutil::Run("LC_ALL=C.UTF-8 " + cmd, out); }

}  // namespace

TEST(RizerPeers, InfoZipArchives) {
  REQUIRE_TOOL("zip");
  REQUIRE_TOOL("unzip");
  testutil::TempDir dir;
  MakeTree(dir.file("tree"));
  const std::string plain = dir.file("plain.zip"), secret = dir.file("secret.zip"), many = dir.file("many.zip");
  ASSERT_EQ(Sh("cd " + ShellQuote(dir.file("tree")) + " && zip -qr " + ShellQuote(plain) + " ."), 0);
  ASSERT_EQ(Sh("cd " + ShellQuote(dir.file("tree")) + " && zip -qr -P pw " + ShellQuote(secret) + " ."), 0);
  for (int i = 0; i < 100; ++i)
    testutil::WriteFile(dir.file("many/f" + std::to_string(i) + ".txt"), testutil::TextBytes(50 + i * 37, i));
  ASSERT_EQ(Sh("cd " + ShellQuote(dir.file("many")) + " && zip -q " + ShellQuote(many) + " *.txt"), 0);

  for (const std::string& path : {plain, secret, many}) {
    std::string info;
    ASSERT_EQ(Sh("unzip -Z -v " + ShellQuote(path) + " 2>&1", &info), 0);
    ExpectAgrees(ListWithDirs(path), ParseZipinfo(info), path);
  }
  const auto enc = ListWithDirs(secret);
  bool sawEncrypted = false;
  for (const auto& e : enc.entries) sawEncrypted |= e.encrypted;
  EXPECT_TRUE(sawEncrypted);
  EXPECT_EQ(ListWithDirs(many).totalFiles, 100);
}

TEST(RizerPeers, SevenZipArchives) {
  REQUIRE_TOOL("7zz");
  testutil::TempDir dir;
  MakeTree(dir.file("tree"));
  const std::string plain = dir.file("plain.zip"), secret = dir.file("secret.zip");
  const std::string from = " " + ShellQuote(dir.file("tree")) + "/* >/dev/null";
  ASSERT_EQ(Sh("7zz a -tzip -mcu=on " + ShellQuote(plain) + from), 0);
  ASSERT_EQ(Sh("7zz a -tzip -mem=ZipCrypto -pSecret " + ShellQuote(secret) + from), 0);
  for (const std::string& path : {plain, secret}) {
    std::string slt;
    ASSERT_EQ(Sh("7zz l -slt " + ShellQuote(path), &slt), 0);
    ExpectAgrees(ListWithDirs(path), Parse7z(slt), path);
  }
  bool sawUtf8 = false;
  for (const auto& e : ListWithDirs(plain).entries) sawUtf8 |= e.name == "日本/テスト.txt";
  EXPECT_TRUE(sawUtf8);
}

TEST(RizerPeers, PythonZipfileArchives) {
  REQUIRE_TOOL("python3");
  REQUIRE_TOOL("unzip");
  testutil::TempDir dir;
  const std::string path = dir.file("py.zip");
  const std::string script =
      "import zipfile\n"
      "with zipfile.ZipFile(r'" + path + "', 'w') as z:\n"
      "    z.writestr('folder/', '')\n"
      "    z.writestr('folder/empty.txt', '')\n"
      "    z.writestr(zipfile.ZipInfo('Grüße/ñandú.txt'), 'hola ' * 500, zipfile.ZIP_DEFLATED)\n"
      "    z.writestr('stored.bin', bytes(range(256)) * 8, zipfile.ZIP_STORED)\n"
      "    z.writestr('deep/a/b/c.txt', 'deep text', zipfile.ZIP_DEFLATED)\n";
  testutil::WriteFile(dir.file("make.py"), script);
  ASSERT_EQ(Sh("python3 " + ShellQuote(dir.file("make.py"))), 0);
  std::string info;
  ASSERT_EQ(Sh("unzip -Z -v " + ShellQuote(path) + " 2>&1", &info), 0);
  const auto ours = ListWithDirs(path);
  ExpectAgrees(ours, ParseZipinfo(info), path);
  ASSERT_EQ(ours.entries.size(), 5u);
  EXPECT_EQ(ours.entries[2].name, "Grüße/ñandú.txt");
  EXPECT_EQ(ours.entries[2].methodName, "DeflateN");
  if (testutil::HaveTool("7zz")) {
    std::string slt;
    ASSERT_EQ(Sh("7zz l -slt " + ShellQuote(path), &slt), 0);
    ExpectAgrees(ours, Parse7z(slt), "7zz view of " + path);
  }
}

TEST(RizerPeers, CorpusZipArchivesListWithoutErrors) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  REQUIRE_TOOL("7zz");
  std::string files;
  testutil::Run("ls -d " + ShellQuote(corpus + "/zip") + "/*.[zZjJ][iIaA][pPrR] 2>/dev/null", &files);
  std::istringstream in(files);
  std::string path;
  int checked = 0;
  while (std::getline(in, path) && checked < 40) {
    std::string slt;
    if (Sh("7zz l -slt " + ShellQuote(path) + " 2>/dev/null", &slt) != 0) continue;
    const PeerListing peer = Parse7z(slt);
    const auto ours = ListWithDirs(path);
    if (!ours.ok || ours.entries.size() != peer.size()) {
      ADD_FAILURE() << path << ": " << ours.entries.size() << " entries, 7zz lists " << peer.size();
      continue;
    }
    ++checked;
    for (const auto& e : ours.entries) {
      auto it = peer.find(e.name);
      if (it == peer.end()) continue;  // names in legacy code pages are shown differently
      EXPECT_EQ(e.unpacked, it->second.unpacked) << path << " " << e.name;
      EXPECT_EQ(e.crc, it->second.crc) << path << " " << e.name;
    }
  }
}
