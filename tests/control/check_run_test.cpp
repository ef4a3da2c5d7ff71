// RealCheckVersion and CheckVersion in the page's process against a real
// HTTP server, with the install dialog replaced by a recorder of what it
// would be handed: the fetch list, the program flag, and its count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/locations.h"
#include "control/control.h"
#include "control/install_dialog_runner.h"
#include "control/settings.h"
#include "fixtures/http_server.h"
#include "fixtures/temp_prefix.h"
#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/msgbox/message_box.h"
#include "platform/shell/shell.h"
#include "resources/texts.h"

namespace hovane {
namespace {

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Stands in for the modal dialog: records what it was handed and reports
// the outcome it is told to.
class RecordingDialog : public InstallDialogRunner {
 public:
  void RunModal() override {
    ++runs;
    CHoVaneUpdateModule& module = TheModule();
    names.clear();
    const std::int32_t count = module.m_pFetchList != nullptr ? module.m_pFetchList[0].nCount : -1;
    for (std::int32_t i = 0; i < count; ++i) names.emplace_back(module.m_pFetchList[i].szName);
    exeInFetchList = module.m_bExeInFetchList;
    if (succeed) module.m_bUpdateSucceeded = 1;
    module.FreeFetchList();
  }

  bool succeed = true;
  int runs = 0;
  std::vector<std::string> names;
  std::int32_t exeInFetchList = -1;
};

class CheckRun : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetSystemCodePage(949));
    previous_ = platform::SetMessageBoxService(&boxes);
    SetInstallDialogRunner(&dialog);
    TheModule().m_bUpdateSucceeded = 0;
    TheModule().m_bForeign = 0;
  }
  void TearDown() override {
    SetInstallDialogRunner(nullptr);
    platform::SetMessageBoxService(previous_);
  }

  // Serves the list and records versions so that the given positions
  // (1-based) are out of date.
  void Publish(const std::vector<std::string>& names, const std::vector<int>& outOfDate) {
    std::string list, stored;
    for (std::size_t i = 0; i < names.size(); ++i) {
      list += names[i] + ":1,0,0,2\n";
      const bool stale = std::find(outOfDate.begin(), outOfDate.end(), int(i + 1)) != outOfDate.end();
      stored += "[File" + std::to_string(i + 1) + "]\r\nFileName=" + names[i] +
                "\r\nVersion=" + (stale ? "1,0,0,1" : "1,0,0,2") + "\r\n";
    }
    server.Serve("/version/version.html", list);
    control.SetVirsionUrl(Wide(server.Url("/version/version.html")));
    test::WriteHostFile(
        prefix.Host(*platform::GetShellFolder(platform::ShellFolder::ApplicationData) +
                    "\\Hovane\\HovaneVersion.ini"),
        stored);
  }

  test::TempPrefix prefix;
  test::HttpTestServer server;
  platform::ScriptedMessageBoxes boxes;
  RecordingDialog dialog;
  CHoVaneUpdateInstaller control;

 private:
  platform::MessageBoxService* previous_ = nullptr;
};

TEST_F(CheckRun, TheFetchListHoldsTheOutOfDateNamesInPositionOrder) {
  const std::string longName = std::string(255, 'x') + ".exe";  // 259 bytes: does not fit
  const struct {
    const char* what;
    std::vector<std::string> names;
    std::vector<int> outOfDate;
    std::int32_t foreign;
    std::vector<std::string> fetched;
    std::int32_t exe;
  } cases[] = {
      {"positions 2 and 4 of 5", {"a.dat", "b.ocx", "c.dat", "d.ico", "e.dat"}, {2, 4}, 0,
       {"b.ocx", "d.ico"}, 0},
      {"foreign main program", {"HoVane.exe", "x.dat"}, {1}, 1, {"GlobalHoVane.exe"}, 1},
      {"foreign, lower-case name", {"hovane.exe"}, {1}, 1, {"hovane.exe"}, 1},
      {"no dot, EXE in any case", {"exe", "y.dat"}, {1, 2}, 0, {"exe", "y.dat"}, 1},
      {"mixed-case extension", {"setup.Exe"}, {1}, 0, {"setup.Exe"}, 1},
      {"a name too long for a record is left out", {longName, "z.dat"}, {1, 2}, 0, {"z.dat"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TheModule().m_bForeign = c.foreign;
    TheModule().m_bUpdateSucceeded = 0;
    Publish(c.names, c.outOfDate);
    VARIANT_BOOL result = -1;
    EXPECT_EQ(control.RealCheckVersion(&result), S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.names, c.fetched);
    EXPECT_EQ(dialog.exeInFetchList, c.exe);
  }
}

TEST_F(CheckRun, NothingOutOfDateShowsNoDialogAndLeavesNoFetchList) {
  Publish({"a.dat", "b.dat"}, {});
  VARIANT_BOOL result = -1;
  EXPECT_EQ(control.RealCheckVersion(&result), S_OK);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(dialog.runs, 0);
  EXPECT_EQ(TheModule().m_pFetchList, nullptr);

  // CheckVersion leaves the caller's value as it was.
  result = 7;
  EXPECT_EQ(control.CheckVersion(&result), S_OK);
  EXPECT_EQ(result, 7);
}

TEST_F(CheckRun, AnInstallationThatDoesNotSucceedReportsFalse) {
  Publish({"a.dat"}, {1});
  dialog.succeed = false;
  VARIANT_BOOL result = -1;
  EXPECT_EQ(control.RealCheckVersion(&result), S_FALSE);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(dialog.runs, 1);

  // A flag left set by an earlier success in this process still counts.
  TheModule().m_bUpdateSucceeded = 1;
  EXPECT_EQ(control.RealCheckVersion(&result), S_OK);
  EXPECT_EQ(result, 1);
}

TEST_F(CheckRun, ATempFolderThatCannotBeClearedStopsBeforeTheDialog) {
  Publish({"a.dat"}, {1});
  const std::string held = GetTempFolder() + "\\held.bin";
  test::WriteHostFile(prefix.Host(held), "in use");
  platform::File file = platform::File::Open(held, platform::OpenMode::OpenExisting,
                                             platform::Access::Read, platform::Share::NoDelete);
  ASSERT_TRUE(file.IsOpen());

  VARIANT_BOOL result = -1;
  EXPECT_EQ(control.RealCheckVersion(&result), S_FALSE);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(dialog.runs, 0);
  const auto shown = boxes.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, Text(TextId::kTextPrepareFailed));
  EXPECT_EQ(shown[0].buttons, platform::MessageBoxButtons::Ok);
}

TEST_F(CheckRun, BeforeVistaCheckVersionInstallsInThisProcess) {
  platform::SetOsVersion(platform::OsVersion{2, 5, 1});
  Publish({"a.dat", "b.dat"}, {2});
  VARIANT_BOOL result = -1;
  EXPECT_EQ(control.CheckVersion(&result), S_OK);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(dialog.names, std::vector<std::string>{"b.dat"});
}

}  // namespace
}  // namespace hovane
