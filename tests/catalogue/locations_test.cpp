#include "catalogue/locations.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures/temp_prefix.h"
#include "platform/files/files.h"
#include "platform/shell/shell.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;

class Locations : public testing::Test {
 protected:
  void TearDown() override {
    platform::SetOsVersion(platform::OsVersion{});
    ReloadOsVersionForTesting();
  }
  test::TempPrefix prefix;
};

TEST_F(Locations, FoldersFollowTheProgramFilesFolder) {
  EXPECT_EQ(GetInstallFolder(), "C:\\Program Files\\Hovane");
  EXPECT_EQ(GetTempFolder(), "C:\\Program Files\\Hovane\\temp");
}

TEST_F(Locations, PerUserBaseFolderDependsOnTheSystemReadOnce) {
  struct Case {
    std::optional<platform::OsVersion> version;
    bool appData;
  };
  const Case cases[] = {
      {platform::OsVersion{2, 6, 1}, true},
      {platform::OsVersion{2, 5, 0}, true},
      {platform::OsVersion{2, 4, 0}, false},   // NT 4
      {platform::OsVersion{1, 4, 10}, false},  // the older family
      {std::nullopt, false},                   // the query fails
  };
  for (const Case& c : cases) {
    platform::SetOsVersion(c.version);
    ReloadOsVersionForTesting();
    const std::string base = GetUserBaseFolder();
    if (c.appData)
      EXPECT_EQ(base, *platform::GetShellFolder(platform::ShellFolder::ApplicationData));
    else
      EXPECT_EQ(base, "C:\\Program Files");
    // Read once: a later change of the version does not move the folder.
    platform::SetOsVersion(platform::OsVersion{1, 4, 0});
    EXPECT_EQ(GetUserBaseFolder(), base);
  }
}

TEST_F(Locations, CreateDirectoryTreeCleansAndCreatesMissingParents) {
  struct Case {
    const char* path;
    const char* created;  // host folder, relative to drive_c, that must exist afterwards
  };
  const Case cases[] = {
      {"C:\\a\\b\\c", "a/b/c"},
      {"C:\\t\\x\\", "t/x"},
      {"C:\\s/l\\p|q", "sl/pq"},
      {"C:\\w*?\"<>|x", "wx"},
      {"C:\\d\\\\\\e", "d/e"},
  };
  for (const Case& c : cases) {
    CreateDirectoryTree(c.path);
    EXPECT_TRUE(fs::is_directory(fs::path(prefix.root()) / "drive_c" / c.created)) << c.path;
  }
  EXPECT_FALSE(fs::exists(fs::path(prefix.root()) / "drive_c" / "s"));
}

TEST_F(Locations, CreateDirectoryTreeReportsOnlyTheLastCreation) {
  EXPECT_TRUE(CreateDirectoryTree("C:\\one\\two"));
  EXPECT_FALSE(CreateDirectoryTree("C:\\one\\two"));
  EXPECT_FALSE(CreateDirectoryTree("Q:\\nowhere"));
  EXPECT_FALSE(CreateDirectoryTree(""));
}

}  // namespace
}  // namespace hovane
