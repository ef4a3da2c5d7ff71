// Registration of HoVaneUpdate.so per machine and per user: the keys and
// values written, what unregistration removes and keeps, DllInstall's
// per-user switch and the failure paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "control/installer_interface.h"
#include "module_test_support.h"
#include "platform/codepage/codepage.h"
#include "platform/component/categories.h"
#include "resources/interface_description.h"
#include "resources/module_data.h"

namespace hovane::test {
namespace {

using platform::FormatGuid;

const std::string kClsid = FormatGuid(kClsidHoVaneUpdateInstaller);
const std::string kAppId = FormatGuid(kAppIdHoVaneUpdate);
const std::string kLibid = FormatGuid(kLibidHoVaneUpdateLib);
const std::string kIid = FormatGuid(kIidIHoVaneUpdateInstaller);
const std::string kClassKey = "CLSID\\" + kClsid;
const std::string kCatScripting = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
const std::string kCatInitializing = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

struct Expected {
  std::string key;
  std::string value;  // "" is the default value
  std::string text;
};

// Every text value registration writes, with the module at modulePath.
std::vector<Expected> RegisteredTexts(const std::string& modulePath) {
  return {
      {"AppID\\" + kAppId, "", "HoVaneUpdate"},
      {"AppID\\" + kAppId, "DllSurrogate", ""},
      {"AppID\\HoVaneUpdate.DLL", "AppID", kAppId},
      {"HoVaneUpdate.HoVaneUpdateInstaller.1", "", "HoVaneUpdateInstaller Class"},
      {"HoVaneUpdate.HoVaneUpdateInstaller.1\\CLSID", "", kClsid},
      {"HoVaneUpdate.HoVaneUpdateInstaller", "", "HoVaneUpdateInstaller Class"},
      {"HoVaneUpdate.HoVaneUpdateInstaller\\CLSID", "", kClsid},
      {"HoVaneUpdate.HoVaneUpdateInstaller\\CurVer", "", "HoVaneUpdate.HoVaneUpdateInstaller.1"},
      {kClassKey, "", "HoVaneUpdateInstaller Class"},
      {kClassKey, "AppID", kAppId},
      {kClassKey, "LocalizedString", "@" + modulePath + ",-101"},
      {kClassKey + "\\ProgID", "", "HoVaneUpdate.HoVaneUpdateInstaller.1"},
      {kClassKey + "\\VersionIndependentProgID", "", "HoVaneUpdate.HoVaneUpdateInstaller"},
      {kClassKey + "\\InprocServer32", "", modulePath},
      {kClassKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {kClassKey + "\\ToolboxBitmap32", "", modulePath + ", 103"},
      {kClassKey + "\\MiscStatus", "", "0"},
      {kClassKey + "\\MiscStatus\\1", "", "131473"},
      {kClassKey + "\\TypeLib", "", kLibid},
      {kClassKey + "\\Version", "", "1.0"},
      {"TypeLib\\" + kLibid + "\\1.0", "",
       platform::Utf8ToNarrow(interface_description::kLibraryHelp).value()},
      {"TypeLib\\" + kLibid + "\\1.0\\0\\win32", "", modulePath},
      {"Interface\\" + kIid, "", "IHoVaneUpdateInstaller"},
      {"Interface\\" + kIid + "\\ProxyStubClsid32", "", kIid},
      {"CLSID\\" + kIid + "\\InprocServer32", "", modulePath},
      {"Component Categories\\" + kCatScripting, "409", "Controls that are safely scriptable"},
      {"Component Categories\\" + kCatInitializing, "409",
       "Controls safely initializable from persistent data"},
  };
}

// Keys that carry no text of their own.
const std::vector<std::string> kRegisteredKeys = {
    kClassKey + "\\Programmable",
    kClassKey + "\\Control",
    kClassKey + "\\Elevation",
    kClassKey + "\\Implemented Categories\\" + kCatScripting,
    kClassKey + "\\Implemented Categories\\" + kCatInitializing,
};

// Removed by unregistration.
const std::vector<std::string> kRemovedKeys = {
    "AppID\\" + kAppId,
    "AppID\\HoVaneUpdate.DLL",
    kClassKey,
    "HoVaneUpdate.HoVaneUpdateInstaller.1",
    "HoVaneUpdate.HoVaneUpdateInstaller",
    "TypeLib\\" + kLibid,
    "Interface\\" + kIid,
    "CLSID\\" + kIid,
};

// Kept by unregistration.
const std::vector<std::string> kKeptKeys = {
    "AppID",
    "CLSID",
    "Component Categories\\" + kCatScripting,
    "Component Categories\\" + kCatInitializing,
};

std::string ModulePathText() { return platform::Utf8ToNarrow(kModulePath).value(); }

void ExpectRegistered(ClassesScope scope) {
  for (const Expected& e : RegisteredTexts(ModulePathText()))
    EXPECT_EQ(ClassesText(scope, e.key, e.value), e.text) << e.key << " : " << e.value;
  for (const std::string& key : kRegisteredKeys) EXPECT_TRUE(ClassesKeyExists(scope, key)) << key;
  platform::RegistryKey root, elevation;
  ASSERT_EQ(platform::OpenClassesRoot(scope, platform::RegAccess::Read, &root),
            platform::RegStatus::Ok);
  ASSERT_EQ(root.Open(kClassKey + "\\Elevation", platform::RegAccess::Read, &elevation),
            platform::RegStatus::Ok);
  std::uint32_t enabled = 0;
  EXPECT_EQ(elevation.QueryDword("Enabled", &enabled), platform::RegStatus::Ok);
  EXPECT_EQ(enabled, 1u);
}

void ExpectNothingOfTheModule(ClassesScope scope) {
  for (const std::string& key : kRemovedKeys) EXPECT_FALSE(ClassesKeyExists(scope, key)) << key;
}

ClassesScope Other(ClassesScope scope) {
  return scope == ClassesScope::Machine ? ClassesScope::User : ClassesScope::Machine;
}

class Registration : public testing::Test {
 protected:
  TempPrefix prefix;
};

TEST_F(Registration, PerMachineWritesTheTablesAndUnregisterRemovesAllButTheKeptKeys) {
  ModuleEntries module;
  ASSERT_NE(module.registerServer, nullptr);
  ASSERT_EQ(module.registerServer(), S_OK);
  ExpectRegistered(ClassesScope::Machine);
  ExpectNothingOfTheModule(ClassesScope::User);

  ASSERT_EQ(module.unregisterServer(), S_OK);
  ExpectNothingOfTheModule(ClassesScope::Machine);
  for (const std::string& key : kKeptKeys)
    EXPECT_TRUE(ClassesKeyExists(ClassesScope::Machine, key)) << key;
  // Unregistering what is not registered succeeds and changes nothing more.
  EXPECT_EQ(module.unregisterServer(), S_OK);
}

TEST_F(Registration, PerUserWritesEverythingToTheUsersClassesOnly) {
  ASSERT_EQ(RunInHelper(prefix, "install", "user"), S_OK);
  ExpectRegistered(ClassesScope::User);
  ExpectNothingOfTheModule(ClassesScope::Machine);
  EXPECT_FALSE(ClassesKeyExists(ClassesScope::Machine, "Component Categories\\" + kCatScripting));

  ASSERT_EQ(RunInHelper(prefix, "uninstall", "user"), S_OK);
  ExpectNothingOfTheModule(ClassesScope::User);
  for (const std::string& key : kKeptKeys)
    EXPECT_TRUE(ClassesKeyExists(ClassesScope::User, key)) << key;
}

TEST_F(Registration, DllInstallSwitchesToPerUserOnlyForUserInAnyCase) {
  struct Case {
    std::optional<std::string> commandLine;
    ClassesScope scope;
  };
  const Case cases[] = {
      {"user", ClassesScope::User},     {"USER", ClassesScope::User},
      {"User", ClassesScope::User},     {"users", ClassesScope::Machine},
      {"user2", ClassesScope::Machine}, {"use", ClassesScope::Machine},
      {"", ClassesScope::Machine},      {std::nullopt, ClassesScope::Machine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine.value_or("(null)"));
    TempPrefix fresh;
    ASSERT_EQ(RunInHelper(fresh, "install", c.commandLine), S_OK);
    EXPECT_EQ(ClassesText(c.scope, kClassKey + "\\InprocServer32"), ModulePathText());
    EXPECT_FALSE(ClassesKeyExists(Other(c.scope), kClassKey));
    // The same command line with the install flag false removes it again.
    ASSERT_EQ(RunInHelper(fresh, "uninstall", c.commandLine), S_OK);
    EXPECT_FALSE(ClassesKeyExists(c.scope, kClassKey));
  }
}

TEST_F(Registration, RegisteringAgainReplacesTheClassKeyWithItsSubkeys) {
  ModuleEntries module;
  ASSERT_EQ(module.registerServer(), S_OK);
  platform::RegistryKey root, stale;
  ASSERT_EQ(platform::OpenClassesRoot(ClassesScope::Machine, platform::RegAccess::All, &root),
            platform::RegStatus::Ok);
  ASSERT_EQ(root.Create(kClassKey + "\\Stale\\Deeper", platform::RegAccess::All, &stale),
            platform::RegStatus::Ok);
  ASSERT_EQ(root.Create("AppID\\Unrelated", platform::RegAccess::All, &stale),
            platform::RegStatus::Ok);
  ASSERT_EQ(module.registerServer(), S_OK);
  EXPECT_FALSE(ClassesKeyExists(ClassesScope::Machine, kClassKey + "\\Stale"));
  ExpectRegistered(ClassesScope::Machine);
  // Unregistering removes only the module's own keys below the kept ones.
  ASSERT_EQ(module.unregisterServer(), S_OK);
  EXPECT_TRUE(ClassesKeyExists(ClassesScope::Machine, "AppID\\Unrelated"));
}

TEST_F(Registration, LocalizedStringResolvesThroughTheModulesStrings) {
  ModuleEntries module;
  ASSERT_EQ(module.registerServer(), S_OK);
  const auto localized = ClassesText(ClassesScope::Machine, kClassKey, "LocalizedString");
  ASSERT_TRUE(localized.has_value());
  EXPECT_EQ(module_data::ResolveLocalizedString(*localized), "HoVaneUpdate");
  EXPECT_EQ(module_data::ResolveLocalizedString("@x,-102"), std::nullopt);
  EXPECT_EQ(module_data::ResolveLocalizedString("HoVaneUpdate"), std::nullopt);
  EXPECT_EQ(module_data::ResolveLocalizedString("@x,-10x"), std::nullopt);
  EXPECT_EQ(module_data::kAppIdModuleKey, "AppID\\HoVaneUpdate.DLL");
}

// A failing category call fails the registration with SELFREG_E_CLASS
// after the class entries are written; DllInstall then takes the class
// entries back.
TEST_F(Registration, FailingCategoryRegistrationAnswersSelfregClass) {
  struct Reset {
    ~Reset() { platform::SetCategoryFailureForTesting(S_OK); }
  } reset;
  platform::SetCategoryFailureForTesting(E_ACCESSDENIED);
  ModuleEntries module;
  EXPECT_EQ(static_cast<std::uint32_t>(module.registerServer()), 0x80040201u);
  EXPECT_EQ(ClassesText(ClassesScope::Machine, kClassKey + "\\InprocServer32"), ModulePathText());
  EXPECT_TRUE(ClassesKeyExists(ClassesScope::Machine, "Interface\\" + kIid));
  EXPECT_FALSE(ClassesKeyExists(ClassesScope::Machine, "Component Categories\\" + kCatScripting));

  EXPECT_EQ(module.install(1, nullptr), SELFREG_E_CLASS);
  ExpectNothingOfTheModule(ClassesScope::Machine);
}

// A user who may not write the machine hive: registering per machine fails
// with the registry's access-denied status and writes nothing; after
// DllInstall with "user" everything, categories included, goes to the
// user's own classes, so the registration succeeds.
TEST_F(Registration, WithoutMachineRightsOnlyPerUserRegistrationSucceeds) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a helper as another user (setpriv)";
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is missing";
  namespace fs = std::filesystem;
  // The machine hive exists and belongs to root; everything else of the
  // prefix may be written by anyone, so the user can make a hive of its own.
  ASSERT_TRUE(ClassesKeyExists(ClassesScope::Machine, ""));
  const std::string hive = prefix.root() + "/registry/machine.db";
  ASSERT_TRUE(fs::exists(hive));
  // The helper, the platform library and the module, copied where any user
  // may run them (the build folder may not be reachable for user 65534).
  const std::string bin = prefix.root() + "/bin";
  fs::create_directories(bin);
  fs::copy_file(MODULE_HELPER, bin + "/module_helper");
  fs::copy_file(kModulePath, bin + "/HoVaneUpdate.so");
  const fs::path platformLibrary = fs::path(kModulePath).parent_path() / "libhovane-platform.so";
  fs::copy_file(platformLibrary, bin + "/libhovane-platform.so");
  for (const auto& entry : fs::recursive_directory_iterator(prefix.root()))
    fs::permissions(entry.path(), entry.is_directory() ? fs::perms(0777) : fs::perms(0755));
  fs::permissions(prefix.root(), fs::perms(0777));
  fs::permissions(hive, fs::perms(0644));
  const std::string before = ReadHostFile(hive);

  test::ChildEnvironment env({"LD_LIBRARY_PATH=" + bin});
  auto runAsNobody = [&](std::vector<std::string> args) -> std::string {
    std::vector<std::string> argv{
        "setpriv", "--reuid=65534",        "--regid=65534", "--clear-groups",
        "--",      bin + "/module_helper", prefix.root(),   bin + "/HoVaneUpdate.so"};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess helper("/usr/bin/setpriv", argv, env.envp(), true);
    EXPECT_TRUE(helper.Started());
    const std::string output = helper.ReadAll();
    const int status = helper.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    return output;
  };
  EXPECT_EQ(runAsNobody({"register"}), "80070005\n");
  EXPECT_EQ(runAsNobody({"install"}), "80070005\n");
  EXPECT_EQ(runAsNobody({"install", "User"}), "00000000\n");
  EXPECT_EQ(runAsNobody({"uninstall", "user"}), "00000000\n");
  EXPECT_EQ(ReadHostFile(hive), before);
  EXPECT_TRUE(fs::exists(prefix.root() + "/registry/user-nobody.db"));
}

}  // namespace
}  // namespace hovane::test
