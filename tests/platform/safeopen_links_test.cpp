// Links made below a root: through the folder handles, never through a link
// among the folders, replacing a file or a link whole, never a folder.
#include <errno.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/safeopen.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

TEST(SafeOpenLinks, MadeOnlyWhereNothingIsFollowed) {
  testutil::TempDir t;
  const std::string root = t.file("root"), outside = t.file("outside");
  using V = std::vector<std::string>;
  struct Case {
    const char* what;
    bool hard;
    V source;  // hard links: the file named
    V name;
    bool ok;
    int err;  // errno when refused
  };
  const Case cases[] = {
      {"symbolic, folders made", false, {}, {"a", "b", "l"}, true, 0},
      {"symbolic over a file", false, {}, {"file"}, true, 0},
      {"symbolic over a link", false, {}, {"lnk"}, true, 0},
      {"symbolic over a folder", false, {}, {"dir"}, false, EISDIR},
      {"symbolic below a link", false, {}, {"lnk", "l"}, false, ELOOP},
      {"hard to a file", true, {"file"}, {"h"}, true, 0},
      {"hard to a link", true, {"lnk"}, {"h"}, false, EINVAL},
      {"hard to a file below a link", true, {"lnk", "x"}, {"h"}, false, ELOOP},
      {"hard below a link", true, {"file"}, {"lnk", "h"}, false, ELOOP},
      {"hard to itself", true, {"file"}, {"file"}, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root);
    fs::remove_all(outside);
    fs::create_directories(root + "/dir");
    fs::create_directories(outside);
    testutil::WriteFile(outside + "/x", "outside");
    testutil::WriteFile(root + "/file", "file");
    fs::create_directory_symlink(outside, root + "/lnk");
    errno = 0;
    const bool ok = c.hard ? plat::CreateHardLinkBeneath(root, c.source, c.name)
                           : plat::CreateSymlinkBeneath(root, c.name, "target", 1700000000);
    const int err = errno;
    EXPECT_EQ(ok, c.ok);
    // a link among the folders fails as ELOOP or, opened as a folder, ENOTDIR
    if (!c.ok) {
      EXPECT_TRUE(err == c.err || (c.err == ELOOP && err == ENOTDIR)) << err;
    }
    std::string path = root;
    for (const std::string& n : c.name) path += "/" + n;
    if (c.ok && c.hard) {
      EXPECT_TRUE(fs::equivalent(path, root + "/file"));
    } else if (c.ok) {
      EXPECT_EQ(fs::read_symlink(path).string(), "target");
    }
    EXPECT_EQ(testutil::ReadFile(outside + "/x"), "outside");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(root + "/dir")));
    for (const auto& e : fs::recursive_directory_iterator(root))
      EXPECT_NE(e.path().filename().string().rfind(".zefa-", 0), 0u) << e.path();
  }
}
