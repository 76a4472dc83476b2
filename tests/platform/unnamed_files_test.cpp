// Unnamed files: invisible in their folder until named, gone when closed unnamed.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/files.h"
#include "support/testutil.h"

namespace {

namespace fs = std::filesystem;

int Entries(const std::string& dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}

TEST(UnnamedFiles, NamedOnRequestOnItsOwnFileSystemOnly) {
  testutil::TempDir dir;
  plat::Handle h = plat::CreateUnnamedFile(dir.path());
  if (h < 0) GTEST_SKIP() << "no unnamed files here: " << plat::ErrorText(plat::LastError());
  ASSERT_EQ(plat::FileWrite(h, "data", 4), 4);
  EXPECT_EQ(Entries(dir.path()), 0);
  const std::string name = plat::NameUnnamedFile(h, dir.path(), "zid");
  ASSERT_FALSE(name.empty()) << plat::ErrorText(plat::LastError());
  EXPECT_EQ(fs::path(name).parent_path(), fs::path(dir.path()));
  EXPECT_EQ(fs::path(name).filename().string().rfind("zid", 0), 0u);
  plat::FileClose(h);
  EXPECT_EQ(testutil::ReadFile(name), "data");
  EXPECT_EQ(plat::FileStat(name).mode & 0777, 0600u);

  // Closed without a name: nothing is left.
  h = plat::CreateUnnamedFile(dir.path());
  ASSERT_GE(h, 0);
  plat::FileClose(h);
  EXPECT_EQ(Entries(dir.path()), 1);

  // A folder that is missing, or on another file system, gets no name.
  h = plat::CreateUnnamedFile(dir.path());
  ASSERT_GE(h, 0);
  EXPECT_EQ(plat::NameUnnamedFile(h, dir.file("missing"), "zid"), "");
  if (fs::is_directory("/dev/shm") && plat::FileSystemId("/dev/shm") != plat::FileSystemId(dir.path())) {
    EXPECT_EQ(plat::NameUnnamedFile(h, "/dev/shm", "zid"), "");
    EXPECT_EQ(plat::LastError(), EXDEV);
  }
  plat::FileClose(h);
  EXPECT_EQ(plat::CreateUnnamedFile(dir.file("missing")), plat::kNoHandle);

  // Switched off, the caller takes the named path.
  plat::SetUnnamedFilesEnabled(false);
  EXPECT_EQ(plat::CreateUnnamedFile(dir.path()), plat::kNoHandle);
  plat::SetUnnamedFilesEnabled(true);
  EXPECT_EQ(Entries(dir.path()), 1);
}

}  // namespace
