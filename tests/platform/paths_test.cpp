#include "platform/paths.h"

#include <gtest/gtest.h>

namespace {

TEST(Paths, BothSeparatorsSplitNames) {
  EXPECT_EQ(plat::ToNative("a\\b/c\\"), "a/b/c/");
  EXPECT_EQ(plat::ExtractFilePath("dir\\sub/name.txt"), "dir\\sub/");
  EXPECT_EQ(plat::ExtractFileDir("dir\\sub/name.txt"), "dir\\sub");
  EXPECT_EQ(plat::ExtractFileName("dir\\sub/name.txt"), "name.txt");
  EXPECT_EQ(plat::ExtractFilePath("name"), "");
  EXPECT_EQ(plat::ExtractFileDir("name"), "");
  EXPECT_EQ(plat::ExtractFileDir("/name"), "/") << "the root keeps its separator";
  EXPECT_EQ(plat::ExtractFileName("dir/"), "");
  EXPECT_EQ(plat::IncludeTrailingPathDelimiter("a"), "a/");
  EXPECT_EQ(plat::IncludeTrailingPathDelimiter("a\\"), "a\\");
  EXPECT_EQ(plat::IncludeTrailingPathDelimiter(""), "/");
  EXPECT_EQ(plat::ExcludeTrailingPathDelimiter("a/b/"), "a/b");
  EXPECT_EQ(plat::ExcludeTrailingPathDelimiter("a\\"), "a");
  EXPECT_EQ(plat::ExcludeTrailingPathDelimiter("/"), "/");
}

TEST(Paths, ExtensionsComeFromTheLastComponentOnly) {
  EXPECT_EQ(plat::ExtractFileExt("archive.tar.gz"), ".gz");
  EXPECT_EQ(plat::ExtractFileExt("my.dir/readme"), "");
  EXPECT_EQ(plat::ExtractFileExt("my.dir\\readme"), "");
  EXPECT_EQ(plat::ExtractFileExt("name."), ".");
  EXPECT_EQ(plat::ExtractFileExt(""), "");
  EXPECT_EQ(plat::ChangeFileExt("a.b/file.zip", ".lzh"), "a.b/file.lzh");
  EXPECT_EQ(plat::ChangeFileExt("a.b/file", ".cab"), "a.b/file.cab");
  EXPECT_EQ(plat::ChangeFileExt("file.zip", ""), "file");
}

TEST(Paths, CaseAndBlanks) {
  EXPECT_EQ(plat::UpperCase("abc.Zip\xC3\xA4"), "ABC.ZIP\xC3\xA4");
  EXPECT_EQ(plat::LowerCase("ABC.zIP"), "abc.zip");
  EXPECT_TRUE(plat::SameText("README.TXT", "readme.txt"));
  EXPECT_FALSE(plat::SameText("readme.txt", "readme.tx"));
  EXPECT_FALSE(plat::SameText("\xC3\xA4", "\xC3\x84")) << "only ASCII folds";
  EXPECT_EQ(plat::Trim(" \t name \r\n"), "name");
  EXPECT_EQ(plat::Trim("   "), "");
}

}  // namespace
