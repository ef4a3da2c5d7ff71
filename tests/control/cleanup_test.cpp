// The page's cleanup methods against real files in a prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "catalogue/locations.h"
#include "control/control.h"
#include "control/settings.h"
#include "fixtures/temp_prefix.h"
#include "install/old_versions.h"
#include "platform/files/files.h"
#include "platform/msgbox/message_box.h"
#include "platform/shell/shell.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;

class Cleanup : public testing::Test {
 protected:
  void SetUp() override { previous_ = platform::SetMessageBoxService(&boxes); }
  void TearDown() override { platform::SetMessageBoxService(previous_); }

  std::string Host(const std::string& windowsPath) const { return prefix.Host(windowsPath); }
  void Touch(const std::string& windowsPath) { test::WriteHostFile(Host(windowsPath), "x"); }
  std::string Install(const std::string& relative) const {
    return GetInstallFolder() + "\\" + relative;
  }

  test::TempPrefix prefix;
  platform::ScriptedMessageBoxes boxes;
  CHoVaneUpdateInstaller control;

 private:
  platform::MessageBoxService* previous_ = nullptr;
};

TEST_F(Cleanup, DeleteInstalledFileStaysInsideTheInstallFolder) {
  struct Case {
    std::u16string name;
    const char* existing;  // relative to the install folder, or nullptr
    VARIANT_BOOL result;
  };
  const Case cases[] = {
      {u"HoVane.exe", "HoVane.exe", 1},
      {u"temp\\a.bin", "temp\\a.bin", 1},
      {u"missing.exe", nullptr, 0},
      {u"", nullptr, 0},
      {u"..\\outside.txt", nullptr, 0},
      {u"C:\\windows\\win.ini", nullptr, 0},
      {u"\\Program Files\\x", nullptr, 0},
  };
  Touch("C:\\Program Files\\outside.txt");
  Touch("C:\\windows\\win.ini");
  for (const Case& c : cases) {
    if (c.existing) Touch(Install(c.existing));
    VARIANT_BOOL result = -1;
    EXPECT_EQ(control.DeleteInstalledFile(c.name, &result), S_OK);
    EXPECT_EQ(result, c.result);
    if (c.existing) {
      EXPECT_FALSE(platform::FindExact(Install(c.existing)));
    }
  }
  EXPECT_TRUE(fs::exists(Host("C:\\Program Files\\outside.txt")));
  EXPECT_TRUE(fs::exists(Host("C:\\windows\\win.ini")));
}

TEST_F(Cleanup, DeleteFolderAnswersForTheLastFileDirectlyInside) {
  VARIANT_BOOL result = -1;
  // A folder that does not exist holds no file: true.
  EXPECT_EQ(control.DeleteInstalledFolder(&result), S_OK);
  EXPECT_EQ(result, 1);

  Touch(Install("a.dll"));
  Touch(Install("temp\\sub\\b.bin"));
  Touch(Install("z.exe"));
  {
    // A file held open without delete sharing cannot go: it is the last file
    // in the folder's order, so the answer is false although a.dll went.
    platform::File held = platform::File::Open(Install("z.exe"), platform::OpenMode::OpenExisting,
                                               platform::Access::Read, platform::Share::NoDelete);
    ASSERT_TRUE(held.IsOpen());
    EXPECT_FALSE(CHoVaneUpdateInstaller::DeleteFolder(GetInstallFolder()));
  }
  EXPECT_FALSE(platform::FindExact(Install("a.dll")));
  EXPECT_FALSE(platform::FindExact(Install("temp")));
  EXPECT_TRUE(platform::FindExact(Install("z.exe")));

  EXPECT_EQ(control.DeleteInstalledFolder(&result), S_OK);
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(platform::FindExact(GetInstallFolder()));

  // Sub-folders only: true, and failures inside them do not count.
  Touch(Install("temp\\x\\y.bin"));
  EXPECT_TRUE(CHoVaneUpdateInstaller::DeleteFolder(Install("temp")));
  EXPECT_TRUE(CHoVaneUpdateInstaller::DeleteFolder("C:\\no\\such\\folder"));
}

TEST_F(Cleanup, DeletingTheInstallFolderNeverFollowsALinkOutOfIt) {
  Touch("C:\\precious\\keep.txt");
  Touch(Install("a.dll"));
  fs::create_directory_symlink(Host("C:\\precious"), Host(GetInstallFolder()) + "/linked");
  VARIANT_BOOL result = -1;
  EXPECT_EQ(control.DeleteInstalledFolder(&result), S_OK);
  EXPECT_TRUE(fs::exists(Host("C:\\precious\\keep.txt")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Host("C:\\Program Files") + "/Hovane/linked")));
}

TEST_F(Cleanup, VersionFilesOutliveTheInstallFolder) {
  const std::string versionFile =
      *platform::GetShellFolder(platform::ShellFolder::ApplicationData) +
      "\\Hovane\\HovaneVersion.ini";
  Touch(versionFile);
  Touch(Install("HoVane.exe"));
  VARIANT_BOOL result = -1;
  control.DeleteInstalledFolder(&result);
  EXPECT_TRUE(platform::FindExact(versionFile));
}

TEST_F(Cleanup, OldFilesFollowTheUpdateKind) {
  struct Case {
    std::u16string url;
    bool garbage;                 // DeleteGarbageFile instead of DeleteOldFile
    std::vector<int> slotsGone;   // cache slots removed
    const char* systemFileGone;   // one system-folder file of the kind, or nullptr
  };
  const Case cases[] = {
      {u"http://h/dn_version.html", false, {0, 1}, "HoVane.exe"},
      {u"http://h/up_version.html", false, {2}, "HoVaneUpLoad.exe"},
      {u"http://h/version.html", false, {0, 1, 2}, nullptr},
      {u"http://h/up_version.html", true, {0, 1, 2}, "HoVaneUpLoad.exe"},
  };
  const std::string cache = GetControlCacheFolder();
  const std::string system = platform::GetSystemFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.url.begin(), c.url.end()) + (c.garbage ? " garbage" : " old"));
    boxes.Clear();
    for (int slot = 0; slot < kCacheSlotCount; ++slot) Touch(cache + "\\" + CacheSlotName(slot));
    Touch(system + "\\HoVane.exe");
    Touch(system + "\\HoVaneUpLoad.exe");

    control.SetVirsionUrl(c.url);
    VARIANT_BOOL result = -1;
    EXPECT_EQ(c.garbage ? control.DeleteGarbageFile(&result) : control.DeleteOldFile(&result), S_OK);
    EXPECT_EQ(result, 1);
    for (int slot = 0; slot < kCacheSlotCount; ++slot) {
      const bool gone = std::find(c.slotsGone.begin(), c.slotsGone.end(), slot) != c.slotsGone.end();
      EXPECT_EQ(platform::FindExact(cache + "\\" + CacheSlotName(slot)), !gone) << slot;
    }
    for (const char* file : {"HoVane.exe", "HoVaneUpLoad.exe"}) {
      const bool gone = c.systemFileGone && std::string(file) == c.systemFileGone;
      EXPECT_EQ(platform::FindExact(system + "\\" + file), !gone) << file;
    }
    const auto shown = boxes.Shown();
    ASSERT_EQ(shown.size(), c.garbage ? 1u : 0u);
    if (c.garbage) {
      EXPECT_EQ(shown[0].text, "\xBB\xE8\xC1\xA6\xBF\xA1 \xBC\xBA\xB0\xF8\xC7\xCF\xBF\xB4\xBD\xC0\xB4\xCF\xB4\xD9.");
      EXPECT_EQ(shown[0].caption, "HoVaneUpdate");
    }
  }
}

}  // namespace
}  // namespace hovane
