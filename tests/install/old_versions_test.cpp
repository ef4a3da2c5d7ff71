// Old-version removal on a temporary prefix with the real control cache
// service: what each update kind removes, a cache service that cannot be
// loaded or offers no removal entry, the slots outside the table, and
// deleting folder trees with a file held open.
#include "install/old_versions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "control/settings.h"
#include "fixtures/temp_prefix.h"
#include "platform/codepage/codepage.h"
#include "platform/control_cache/control_cache.h"
#include "platform/files/files.h"
#include "platform/registry/registry.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;
using platform::FindExact;
using platform::RegAccess;
using platform::RegistryHive;
using platform::RegistryKey;
using platform::RegStatus;
using test::TempPrefix;
using test::WriteHostFile;

constexpr char kCache[] = "C:\\windows\\Downloaded Program Files";
constexpr char kSystem[] = "C:\\windows\\system32";
const std::vector<std::string> kKind0Files = {"HoVane.exe",
                                              "hovane.ini",
                                              "HovaneDomainSetup.ses",
                                              "HoVaneDownLoad.exe",
                                              "HovaneFavoriteSetup.ses",
                                              "HoVaneFileData.exe",
                                              "HoVane.dll"};
const std::vector<std::string> kKind1Files = {"HoVaneUpLoad.exe", "HovaneUpManager.dll",
                                              "HovaneMT.dll", "HovaneMTWma.dll"};

class OldVersionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetSystemCodePage(949));
    saved_kind_ = TheModule().m_nUpdateKind;
  }
  void TearDown() override {
    TheModule().m_nUpdateKind = saved_kind_;
    platform::SetControlCacheModulePath("");
  }

  static std::string Slot(int slot) { return std::string(kCache) + "\\" + CacheSlotName(slot); }

  // The three cached controls, and a registration of each older class for
  // its control file (the main one for slot 0), as the cache once made them.
  void PlaceCachedControls() {
    for (int slot = 0; slot < kCacheSlotCount; ++slot)
      WriteHostFile(prefix_.Host(Slot(slot)), "old control");
    RegisterClass(kOldMainControlClassId, Slot(0));
    RegisterClass(kOldUpManagerClassId, Slot(2));
  }

  static void RegisterClass(const char* classId, const std::string& file) {
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Root(RegistryHive::LocalMachine)
                  .Create(std::string("SOFTWARE\\Classes\\CLSID\\") + classId + "\\InprocServer32",
                          RegAccess::All, &key),
              RegStatus::Ok);
    ASSERT_EQ(key.SetString("", file), RegStatus::Ok);
  }

  static bool Registered(const char* classId) {
    RegistryKey key;
    return platform::OpenRegistryKey(RegistryHive::LocalMachine,
                                     std::string("SOFTWARE\\Classes\\CLSID\\") + classId,
                                     RegAccess::Read, &key) == RegStatus::Ok;
  }

  void PlaceSystemFiles() {
    for (const auto* list : {&kKind0Files, &kKind1Files})
      for (const std::string& name : *list)
        WriteHostFile(prefix_.Host(std::string(kSystem) + "\\" + name), "old file");
  }

  static std::set<std::string> SystemFilesLeft() {
    std::set<std::string> left;
    for (const auto* list : {&kKind0Files, &kKind1Files})
      for (const std::string& name : *list)
        if (FindExact(std::string(kSystem) + "\\" + name)) left.insert(name);
    return left;
  }

  TempPrefix prefix_;
  std::int32_t saved_kind_ = 0;
};

TEST_F(OldVersionsTest, EachKindRemovesItsOwnCopies) {
  struct Row {
    std::int32_t kind;
    std::vector<bool> slotsRemoved;
    bool mainUnregistered, upManagerUnregistered;
    std::vector<std::string> systemFilesRemoved;
  };
  const Row rows[] = {
      {0, {true, true, false}, true, false, kKind0Files},
      {1, {false, false, true}, false, true, kKind1Files},
      {2, {true, true, true}, true, true, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("kind " + std::to_string(row.kind));
    TempPrefix prefix;
    PlaceCachedControls();
    PlaceSystemFiles();
    TheModule().m_nUpdateKind = row.kind;

    EXPECT_TRUE(RemoveOldVersions());

    for (int slot = 0; slot < kCacheSlotCount; ++slot)
      EXPECT_EQ(FindExact(Slot(slot)), !row.slotsRemoved[static_cast<std::size_t>(slot)]) << slot;
    EXPECT_EQ(Registered(kOldMainControlClassId), !row.mainUnregistered);
    EXPECT_EQ(Registered(kOldUpManagerClassId), !row.upManagerUnregistered);
    std::set<std::string> expectedLeft;
    for (const auto* list : {&kKind0Files, &kKind1Files})
      for (const std::string& name : *list) expectedLeft.insert(name);
    for (const std::string& name : row.systemFilesRemoved) expectedLeft.erase(name);
    EXPECT_EQ(SystemFilesLeft(), expectedLeft);
  }
}

TEST_F(OldVersionsTest, AControlThatIsNotInTheCacheFolderIsSkipped) {
  // Registered, but its file is gone: the cache is not asked.
  RegisterClass(kOldMainControlClassId, Slot(0));
  TheModule().m_nUpdateKind = 0;
  EXPECT_TRUE(RemoveOldVersions());
  EXPECT_TRUE(Registered(kOldMainControlClassId));
}

TEST_F(OldVersionsTest, WithoutTheCacheServiceTheFilesStillGo) {
  platform::SetControlCacheModulePath(prefix_.root() + "/nowhere/libhovane-occache.so");
  PlaceCachedControls();
  TheModule().m_nUpdateKind = 2;
  EXPECT_FALSE(RemoveCachedControl(0, Slot(0)));
  EXPECT_TRUE(RemoveOldVersions());
  for (int slot = 0; slot < kCacheSlotCount; ++slot) EXPECT_FALSE(FindExact(Slot(slot))) << slot;
  EXPECT_TRUE(Registered(kOldMainControlClassId));
  EXPECT_TRUE(Registered(kOldUpManagerClassId));
}

TEST_F(OldVersionsTest, ACacheServiceWithoutARemovalEntryCountsAsSuccess) {
  platform::SetControlCacheModulePath(REGMOD_NOENTRY);
  PlaceCachedControls();
  EXPECT_TRUE(RemoveCachedControl(0, Slot(0)));
  EXPECT_TRUE(Registered(kOldMainControlClassId));
}

TEST_F(OldVersionsTest, SlotsOutsideTheTable) {
  PlaceCachedControls();
  // Slot 3 is no slot: nothing is asked.
  EXPECT_FALSE(RemoveCachedControl(3, Slot(2)));
  EXPECT_TRUE(Registered(kOldUpManagerClassId));
  // Slot -1 and lower count as the main control.
  EXPECT_TRUE(RemoveCachedControl(-1, Slot(0)));
  EXPECT_FALSE(Registered(kOldMainControlClassId));
  EXPECT_TRUE(RemoveCachedControl(2, Slot(2)));
  EXPECT_FALSE(Registered(kOldUpManagerClassId));
  // A failed removal (no such file) is reported.
  EXPECT_FALSE(RemoveCachedControl(0, std::string(kCache) + "\\Gone.ocx"));
  // RemoveCachedControl leaves the files to its caller.
  EXPECT_TRUE(FindExact(Slot(0)));
}

TEST_F(OldVersionsTest, DeleteFolderTree) {
  const std::string temp = "C:\\Program Files\\Hovane\\temp";
  auto fill = [&] {
    for (const char* file : {"\\a.bin", "\\del\\HoVane.exe", "\\del\\deeper\\x.txt", "\\z.ini"})
      WriteHostFile(prefix_.Host(temp + file), "content");
    fs::create_directories(prefix_.Host(temp + "\\empty"));
  };
  for (const std::string& given : {temp, temp + "\\"}) {
    SCOPED_TRACE(given);
    fill();
    {
      // A file held open without delete sharing stays, and so do its folders.
      platform::File held =
          platform::File::Open(temp + "\\del\\HoVane.exe", platform::OpenMode::OpenExisting,
                               platform::Access::Read, platform::Share::NoDelete);
      ASSERT_TRUE(held.IsOpen());
      EXPECT_FALSE(DeleteFolderTree(given));
      EXPECT_TRUE(FindExact(temp + "\\del\\HoVane.exe"));
      for (const char* gone : {"\\a.bin", "\\z.ini", "\\empty", "\\del\\deeper"})
        EXPECT_FALSE(FindExact(temp + gone)) << gone;
    }
    EXPECT_TRUE(DeleteFolderTree(given));
    EXPECT_FALSE(FindExact(temp));
    EXPECT_TRUE(FindExact("C:\\Program Files\\Hovane"));
  }
  EXPECT_TRUE(DeleteFolderTree(temp));
  EXPECT_TRUE(DeleteFolderTree("C:\\Program Files\\Hovane\\never"));
}

}  // namespace
}  // namespace hovane
