// The whole run as a page drives it: the control created by its ProgID,
// CheckVersion handing the installation to an elevated instance in a real
// hovane-surrogate process, which fetches the list from a real HTTP server,
// downloads from the reference file server, installs and registers into
// the prefix and records the versions and the uninstall entry.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "control/installer_interface.h"
#include "fixtures/http_server.h"
#include "module_test_support.h"
#include "platform/component/unknown.h"
#include "platform/shell/shell.h"
#include "transfer/file_server_process.h"

namespace hovane::test {
namespace {

namespace fs = std::filesystem;
using platform::ComPtr;

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

constexpr char kInstallFolder[] = "C:\\Program Files\\Hovane";

class CheckVersionRun : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(module.registerServer(), S_OK);
    served.Add("Client.exe", "client 2");
    served.AddCopy("Plugin.ocx", REGMOD_ZERO);
    served.Add("Notice.txt", "notice 2");
  }

  // A control created as a page creates it, set up for the list at path.
  ComPtr<IHoVaneUpdateInstaller> Control(const std::string& path) {
    http.Serve(path, "Client.exe:1,0,0,2\nPlugin.ocx:1,0,0,2\nNotice.txt:1,0,0,2\n");
    platform::Guid clsid;
    EXPECT_EQ(platform::ClsidFromProgId(kProgId, &clsid), S_OK);
    ComPtr<IHoVaneUpdateInstaller> control;
    EXPECT_EQ(platform::CreateInstance(clsid, kIidIHoVaneUpdateInstaller, control.Out()), S_OK);
    if (!control) return control;
    control->SetInstallServerInfo(u"SERVERIP", u"127.0.0.1");
    control->SetInstallServerInfo(u"PORT", Wide(std::to_string(files.port())));
    control->SetInstallServerInfo(u"USERID", u"tester");
    control->SetVirsionUrl(Wide(http.Url(path)));
    return control;
  }
  std::string Installed(const std::string& name) const {
    return ReadHostFile(prefix.Host(std::string(kInstallFolder) + "\\" + name));
  }
  static VARIANT_BOOL UpdateChecked(IHoVaneUpdateInstaller& control) {
    VARIANT_BOOL flag = -1;
    control.IsUpdateCheck(&flag);
    return flag;
  }

  TempPrefix prefix;
  ModuleEntries module;
  ServedFolder served;
  FileServerProcess files{served.path()};
  HttpTestServer http;
};

TEST_F(CheckVersionRun, InstallsThroughTheElevatedInstanceUnderEveryUpdateKind) {
  // One process keeps its flags from case to case, as a page's would:
  // kind 1 comes first, while the general flag is still clear.
  const struct {
    const char* list;
    VARIANT_BOOL result;  // bResult: the general flag, under every kind
  } cases[] = {{"/version/up_version.html", 0},
               {"/version/dn_version.html", 1},
               {"/version/other.html", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    fs::remove_all(prefix.Host(kInstallFolder));
    ComPtr<IHoVaneUpdateInstaller> control = Control(c.list);
    ASSERT_TRUE(control);

    VARIANT_BOOL result = 5;
    EXPECT_EQ(control->CheckVersion(&result), S_OK);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(UpdateChecked(*control.Get()), 1);
    EXPECT_EQ(Installed("Client.exe"), "client 2");
    EXPECT_TRUE(Installed("Plugin.dll") == ReadHostFile(REGMOD_ZERO)) << "the plug-in was not installed";
    EXPECT_EQ(Installed("Notice.txt"), "notice 2");
    EXPECT_FALSE(fs::exists(prefix.Host(std::string(kInstallFolder) + "\\temp")));

    // The elevated run recorded the versions: the next check finds all
    // current and leaves the caller's value alone.
    result = 5;
    EXPECT_EQ(control->CheckVersion(&result), S_OK);
    EXPECT_EQ(result, 5);
  }
  // The plug-in registered itself, and the uninstall entry was written.
  platform::RegistryKey key;
  EXPECT_EQ(platform::OpenRegistryKey(platform::RegistryHive::CurrentUser,
                                      "Software\\HovaneTests\\regmod_zero",
                                      platform::RegAccess::Read, &key),
            platform::RegStatus::Ok);
  EXPECT_EQ(platform::OpenRegistryKey(
                platform::RegistryHive::LocalMachine,
                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hovane",
                platform::RegAccess::Read, &key),
            platform::RegStatus::Ok);
}

TEST_F(CheckVersionRun, AClassNotRegisteredForElevationIsDeclined) {
  platform::RegistryKey classes;
  ASSERT_EQ(platform::OpenClassesRoot(ClassesScope::Machine, platform::RegAccess::All, &classes),
            platform::RegStatus::Ok);
  ASSERT_EQ(classes.DeleteTree("CLSID\\" + platform::FormatGuid(kClsidHoVaneUpdateInstaller) +
                               "\\Elevation"),
            platform::RegStatus::Ok);
  ComPtr<IHoVaneUpdateInstaller> control = Control("/version/dn_version.html");
  ASSERT_TRUE(control);

  const VARIANT_BOOL flagBefore = UpdateChecked(*control.Get());
  VARIANT_BOOL result = 5;
  EXPECT_EQ(control->CheckVersion(&result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(UpdateChecked(*control.Get()), flagBefore);
  EXPECT_FALSE(fs::exists(prefix.Host(std::string(kInstallFolder) + "\\Client.exe")));
}

}  // namespace
}  // namespace hovane::test
