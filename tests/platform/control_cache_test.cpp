// Control cache service: the service module loaded from beside the platform
// library (or not at all), and its removal of a cached control's
// registration by file and class id.
#include "platform/control_cache/control_cache.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures/temp_prefix.h"
#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/registry/registry.h"

namespace hovane::platform {
namespace {

using test::TempPrefix;
using test::WriteHostFile;

constexpr char kClassId[] = "{11111111-2222-3333-4444-555555555555}";
constexpr char kOtherClassId[] = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
constexpr char kControl[] = "C:\\windows\\Downloaded Program Files\\HoVane.ocx";
constexpr char kElsewhere[] = "C:\\Program Files\\Hovane\\HoVane.dll";

class ControlCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetSystemCodePage(949));
    WriteHostFile(prefix_.Host(kControl), "old control");
    WriteHostFile(prefix_.Host(kElsewhere), "new control");
  }
  void TearDown() override { SetControlCacheModulePath(""); }

  // A class registration as a module writes it: the class key with its
  // server and ProgIDs, and the ProgID keys pointing back.
  static void Register(RegistryHive hive, const std::string& classes, const std::string& classId,
                       const std::string& server, const std::string& progId) {
    RegistryKey root = RegistryKey::Root(hive);
    RegistryKey key;
    ASSERT_EQ(
        root.Create(classes + "\\CLSID\\" + classId + "\\InprocServer32", RegAccess::All, &key),
        RegStatus::Ok);
    ASSERT_EQ(key.SetString("", server), RegStatus::Ok);
    ASSERT_EQ(root.Create(classes + "\\CLSID\\" + classId + "\\ProgID", RegAccess::All, &key),
              RegStatus::Ok);
    ASSERT_EQ(key.SetString("", progId + ".1"), RegStatus::Ok);
    ASSERT_EQ(root.Create(classes + "\\CLSID\\" + classId + "\\VersionIndependentProgID",
                          RegAccess::All, &key),
              RegStatus::Ok);
    ASSERT_EQ(key.SetString("", progId), RegStatus::Ok);
    for (const std::string& name : {progId, progId + ".1"}) {
      ASSERT_EQ(root.Create(classes + "\\" + name + "\\CLSID", RegAccess::All, &key),
                RegStatus::Ok);
      ASSERT_EQ(key.SetString("", classId), RegStatus::Ok);
    }
  }

  static bool Exists(RegistryHive hive, const std::string& path) {
    RegistryKey key;
    return OpenRegistryKey(hive, path, RegAccess::Read, &key) == RegStatus::Ok;
  }

  TempPrefix prefix_;
};

TEST_F(ControlCacheTest, RemovesTheRegistrationOfThatFileOnly) {
  // The same class registered for the cached file in both hives (spelled in
  // another letter case), another class for another file.
  Register(RegistryHive::LocalMachine, "SOFTWARE\\Classes", kClassId,
           "c:\\WINDOWS\\downloaded program files\\hovane.ocx", "Old.Control");
  Register(RegistryHive::CurrentUser, "Software\\Classes", kClassId, kControl, "Old.Control");
  Register(RegistryHive::LocalMachine, "SOFTWARE\\Classes", kOtherClassId, kElsewhere,
           "New.Control");

  ControlCacheLibrary cache = ControlCacheLibrary::Load();
  ASSERT_TRUE(cache.IsLoaded()) << ControlCacheModulePath();
  RemoveControlByNameEntry* remove = cache.RemoveEntry();
  ASSERT_NE(remove, nullptr);

  struct Call {
    const char* file;
    const char* classId;
    HRESULT expected;
  };
  const Call calls[] = {
      {"C:\\windows\\Downloaded Program Files\\Missing.ocx", kClassId, HresultFromWin32(2)},
      {kControl, "{not a class id}", E_INVALIDARG},
      {nullptr, kClassId, E_INVALIDARG},
      // The other class is registered, but for another file.
      {kControl, kOtherClassId, S_FALSE},
      {kControl, kClassId, S_OK},
      {kControl, kClassId, S_FALSE},
  };
  for (const Call& call : calls) {
    SCOPED_TRACE(call.file ? call.file : "(null)");
    EXPECT_EQ(remove(call.file, call.classId, nullptr, 0, 1), call.expected);
  }
  for (RegistryHive hive : {RegistryHive::LocalMachine, RegistryHive::CurrentUser}) {
    const std::string classes =
        hive == RegistryHive::LocalMachine ? "SOFTWARE\\Classes" : "Software\\Classes";
    EXPECT_FALSE(Exists(hive, classes + "\\CLSID\\" + kClassId));
    EXPECT_FALSE(Exists(hive, classes + "\\Old.Control"));
    EXPECT_FALSE(Exists(hive, classes + "\\Old.Control.1"));
    EXPECT_TRUE(Exists(hive, classes + "\\CLSID"));
  }
  EXPECT_TRUE(Exists(RegistryHive::LocalMachine, std::string("SOFTWARE\\Classes\\CLSID\\") +
                                                     kOtherClassId + "\\InprocServer32"));
  EXPECT_TRUE(Exists(RegistryHive::LocalMachine, "SOFTWARE\\Classes\\New.Control.1"));
  // The file is the caller's to delete.
  EXPECT_TRUE(FindExact(kControl));
}

TEST_F(ControlCacheTest, AServiceThatCannotBeLoaded) {
  const std::string notAModule = prefix_.root() + "/occache.so";
  WriteHostFile(notAModule, "not a module");
  for (const std::string& path : {prefix_.root() + "/missing/libhovane-occache.so", notAModule}) {
    SCOPED_TRACE(path);
    SetControlCacheModulePath(path);
    EXPECT_EQ(ControlCacheModulePath(), path);
    ControlCacheLibrary cache = ControlCacheLibrary::Load();
    EXPECT_FALSE(cache.IsLoaded());
    EXPECT_EQ(cache.RemoveEntry(), nullptr);
  }
  SetControlCacheModulePath("");
  EXPECT_TRUE(ControlCacheLibrary::Load().IsLoaded());
}

}  // namespace
}  // namespace hovane::platform
