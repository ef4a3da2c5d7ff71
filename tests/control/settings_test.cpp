#include "control/settings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "control/app.h"
#include "control/control.h"
#include "fixtures/temp_prefix.h"
#include "platform/shell/shell.h"

namespace hovane {
namespace {

class ControlSettings : public testing::Test {
 protected:
  test::TempPrefix prefix;
};

// Runs first in its own process under ctest: the state right after start.
TEST_F(ControlSettings, StartState) {
  CHoVaneUpdateInstaller control;
  VARIANT_BOOL result = -1;
  EXPECT_EQ(control.IsUpdateCheck(&result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(control.CheckUpdateDlg(&result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(control.IsSucessed(&result), S_OK);
  EXPECT_EQ(result, 1);
  const CHoVaneUpdateModule& module = TheModule();
  EXPECT_EQ(module.m_nUpdateKind, 0);
  EXPECT_EQ(module.m_bInstallResult, 1);
  EXPECT_EQ(module.m_strVersionListUrl, kDefaultVersionListUrl);
  EXPECT_EQ(module.m_pFetchList, nullptr);
  EXPECT_EQ(module.m_serverInfo.m_nPort, 0);
}

TEST_F(ControlSettings, ServerInfoKeys) {
  struct Case {
    std::u16string key, value;
    std::string ip, id, user;
    std::int32_t port;
  };
  const Case cases[] = {
      {u"port", u"8080", "", "", "", 8080},
      {u"PORT", u"80x", "", "", "", 80},
      {u"Port", u"  -12", "", "", "", -12},
      {u"PORT", u"abc", "", "", "", 0},
      {u"PORT", u"", "", "", "", 0},
      {u"PORT", u"99999999999", "", "", "", static_cast<std::int32_t>(99999999999 & 0xFFFFFFFF)},
      {u"ServerIp", u"127.0.0.1", "127.0.0.1", "", "", 0},
      {u"SERVERIP", u"", "", "", "", 0},
      {u"serverid", u" id ", "", " id ", "", 0},
      {u"USERID", u"홍길동", "", "", "\xC8\xAB\xB1\xE6\xB5\xBF", 0},
      {u"HOST", u"x", "", "", "", 0},
  };
  CHoVaneUpdateInstaller control;
  for (const Case& c : cases) {
    TheModule().m_serverInfo = ServerInfo{};
    EXPECT_EQ(control.SetInstallServerInfo(c.key, c.value), S_OK);
    const ServerInfo& info = TheModule().m_serverInfo;
    EXPECT_EQ(info.m_strServerIp, c.ip);
    EXPECT_EQ(info.m_strServerId, c.id);
    EXPECT_EQ(info.m_strUserId, c.user);
    EXPECT_EQ(info.m_nPort, c.port);
  }
}

TEST_F(ControlSettings, UrlChoosesTheUpdateKindAndIsSharedByEveryControl) {
  struct Case {
    std::u16string url;
    std::int32_t kind;
  };
  const Case cases[] = {
      {u"http://h/v/dn_version.html", 0},   {u"http://h/v/up_version.html", 1},
      {u"http://h/v/DN_VERSION.HTML", 2},   {u"dn_version.html", 0},
      {u"http://h/dn_version.html?x=1", 2}, {u"", 2},
  };
  CHoVaneUpdateInstaller first, second;
  for (const Case& c : cases) {
    EXPECT_EQ(first.SetVirsionUrl(c.url), S_OK);
    EXPECT_EQ(TheModule().m_nUpdateKind, c.kind);
  }
  second.SetVirsionUrl(u"http://other/version.html");
  EXPECT_EQ(TheModule().m_strVersionListUrl, "http://other/version.html");
}

TEST_F(ControlSettings, IsUpdateCheckReadsTheFlagOfTheUpdateKind) {
  CHoVaneUpdateInstaller control;
  CHoVaneUpdateModule& module = TheModule();
  VARIANT_BOOL result = -1;
  module.m_bUpdateSucceeded = 1;
  module.m_bUpUpdateSucceeded = 0;
  control.SetVirsionUrl(u"http://h/up_version.html");
  control.IsUpdateCheck(&result);
  EXPECT_EQ(result, 0);
  control.SetVirsionUrl(u"http://h/version.html");
  control.IsUpdateCheck(&result);
  EXPECT_EQ(result, 1);  // 1, never -1
  module.m_bUpdateSucceeded = 0;
  module.m_bInstallDialogOpen = 1;
  control.CheckUpdateDlg(&result);
  EXPECT_EQ(result, 1);
  module.m_bInstallDialogOpen = 0;
  EXPECT_EQ(control.IsUpdateCheck(nullptr), E_POINTER);
}

TEST_F(ControlSettings, ForeignIsSignExtended) {
  CHoVaneUpdateInstaller control;
  control.SetForeign(-1);
  EXPECT_EQ(TheModule().m_bForeign, -1);
  control.SetForeign(1);
  EXPECT_EQ(TheModule().m_bForeign, 1);
  control.SetForeign(0);
  EXPECT_EQ(TheModule().m_bForeign, 0);
}

TEST_F(ControlSettings, FetchListIsZeroedAndFreed) {
  CHoVaneUpdateModule& module = TheModule();
  module.AllocFetchList(3);
  ASSERT_NE(module.m_pFetchList, nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(module.m_pFetchList);
  for (std::size_t i = 0; i < 3 * 260; ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(module.FetchListCapacity(), 3u);
  EXPECT_TRUE(module.FreeFetchList());
  EXPECT_EQ(module.m_pFetchList, nullptr);
  EXPECT_TRUE(module.FreeFetchList());
}

TEST_F(ControlSettings, VistaOrLaterAsksAgainUntilTheAnswerIsYes) {
  CHoVaneUpdateModule& module = TheModule();
  module.m_nOsMajorVersion = 0;
  platform::SetOsVersion(std::nullopt);
  EXPECT_FALSE(module.IsVistaOrLater());
  EXPECT_EQ(module.m_nOsMajorVersion, 0);
  platform::SetOsVersion(platform::OsVersion{2, 5, 1});
  EXPECT_FALSE(module.IsVistaOrLater());
  EXPECT_EQ(module.m_nOsMajorVersion, 5);
  platform::SetOsVersion(platform::OsVersion{2, 6, 1});
  EXPECT_TRUE(module.IsVistaOrLater());
  platform::SetOsVersion(platform::OsVersion{2, 5, 1});
  EXPECT_TRUE(module.IsVistaOrLater());  // a cached answer above 5 stays
  platform::SetOsVersion(platform::OsVersion{});
}

}  // namespace
}  // namespace hovane
