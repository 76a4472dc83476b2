// The desktop entry offers the window for the types it opens: each extension of
// the format table that the window previews brings the MIME types files with
// that extension have, and the entry's MimeType= lists those and no others.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/base/zidFormats.h"
#include "shell/FormComponents.h"

namespace {

// The types the shared MIME database gives a file named *.EXT (freedesktop.org's,
// or packaging/zefa-archiver.xml's for what it lacks); a .gz or .z may be a tar inside.
const std::map<std::string, std::vector<std::string>> kMimeTypes = {
    {".zip", {"application/zip"}},
    {".jar", {"application/x-java-archive"}},
    {".lha", {"application/x-lha"}},
    {".lzh", {"application/x-lha"}},
    {".bh", {"application/x-bh"}},
    {".cab", {"application/vnd.ms-cab-compressed"}},
    {".gz", {"application/gzip", "application/x-compressed-tar"}},
    {".gzip", {"application/gzip"}},
    {".tgz", {"application/x-compressed-tar"}},
    {".tar.gz", {"application/x-compressed-tar"}},
    {".tar.xz", {"application/x-xz-compressed-tar"}},
    {".tar.zst", {"application/x-zstd-compressed-tar"}},
    {".tzst", {"application/x-zstd-compressed-tar"}},
    {".z", {"application/x-compress", "application/x-tarz"}},
    {".taz", {"application/x-tarz"}},
    {".tar", {"application/x-tar"}},
    {".arj", {"application/x-arj"}},
    {".zoo", {"application/x-zoo"}},
    {".ace", {"application/x-ace"}},
    {".arc", {"application/x-arc"}},
    {".pak", {"application/x-pak"}},
    {".ha", {"application/x-ha"}},
    {".rar", {"application/vnd.rar"}},
    {".uue", {"text/x-uuencode"}},
    {".uu", {"text/x-uuencode"}},
    {".xz", {"application/x-xz", "application/x-xz-compressed-tar"}},
    {".txz", {"application/x-xz-compressed-tar"}},
    {".lzma", {"application/x-lzma", "application/x-lzma-compressed-tar"}},
    {".tlz", {"application/x-lzma-compressed-tar"}},
    {".bz2", {"application/x-bzip", "application/x-bzip-compressed-tar"}},
    {".tbz2", {"application/x-bzip-compressed-tar"}},
    {".tbz", {"application/x-bzip-compressed-tar"}},
    {".tb2", {"application/x-bzip-compressed-tar"}},
    {".zst", {"application/zstd", "application/x-zstd-compressed-tar"}},
    {".tzst", {"application/x-zstd-compressed-tar"}},
    {".lz4", {"application/x-lz4", "application/x-lz4-compressed-tar"}},
    {".7z", {"application/x-7z-compressed"}},
    {".iso", {"application/x-cd-image"}},
    {".cpio", {"application/x-cpio"}},
};

std::set<std::string> DesktopMimeTypes() {
  std::ifstream in(ZEFA_SOURCE_DIR "/packaging/zefa-archiver.desktop");
  std::string line;
  std::set<std::string> types;
  while (std::getline(in, line)) {
    if (line.rfind("MimeType=", 0) != 0) continue;
    std::istringstream list(line.substr(9));
    for (std::string t; std::getline(list, t, ';');)
      if (!t.empty()) types.insert(t);
  }
  return types;
}

TEST(DesktopEntry, OffersTheWindowForTheTypesItOpens) {
  std::set<std::string> want;
  for (const zid::TFormat& f : zid::Formats())
    for (const std::string& ext : f.extensions) {
      if (!shell::IsArchiveName("x" + ext)) continue;
      const auto types = kMimeTypes.find(ext);
      ASSERT_NE(types, kMimeTypes.end()) << "the window opens *" << ext << ": add its MIME types to kMimeTypes";
      want.insert(types->second.begin(), types->second.end());
    }
  std::string line = "MimeType=";
  for (const std::string& t : want) line += t + ";";
  EXPECT_EQ(DesktopMimeTypes(), want) << "packaging/zefa-archiver.desktop should read\n" << line;
}

}  // namespace
