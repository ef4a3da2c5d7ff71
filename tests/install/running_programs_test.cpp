// The running-program check with real processes, and real windows on an X
// server that the test starts itself (Xvfb, once with the reparenting
// window manager openbox): names in any letter case and any folder, hidden
// windows, processes without a window, two processes of one name, and the
// diagnostics of a process list that cannot be read.
#include "install/running_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/x_server.h"
#include "fixtures/text.h"
#include "platform/codepage/codepage.h"
#include "platform/msgbox/message_box.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;
using platform::MessageBoxIcon;
using platform::ScriptedMessageBoxes;
using test::ChildProcess;
using test::XServer;

using test::Narrow;

std::string Utf8(std::string_view narrow) {
  auto utf8 = platform::NarrowToUtf8(narrow);
  EXPECT_TRUE(utf8.has_value());
  return utf8.value_or(std::string());
}

std::vector<FetchRecord> FetchList(const std::vector<std::string>& names) {
  std::vector<FetchRecord> list(std::max<std::size_t>(names.size(), 1));
  for (FetchRecord& record : list) std::memset(&record, 0, sizeof record);
  list[0].nCount = static_cast<std::int32_t>(names.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    std::memcpy(list[i].szName, names[i].data(), std::min(names[i].size(), kFetchNameSize - 1));
  return list;
}

// A client program running under argv0, with or without a window.
class ClientProgram {
 public:
  ClientProgram(const std::string& argv0, const char* mode)
      : process_(WINDOW_HELPER, {argv0, mode}) {
    std::istringstream ready(process_.ReadLine().value_or(""));
    std::string word;
    ready >> word >> window_ >> reparented_;
    ok_ = word == "ready";
  }
  bool ok() const { return ok_; }
  platform::WindowHandle window() const { return window_; }
  bool reparented() const { return reparented_ != 0; }
  pid_t pid() const { return process_.pid(); }

 private:
  ChildProcess process_;
  bool ok_ = false;
  platform::WindowHandle window_ = 0;
  int reparented_ = 0;
};

class RunningProgramsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetSystemCodePage(949));
    previous_ = platform::SetMessageBoxService(&boxes_);
  }
  void TearDown() override {
    platform::SetMessageBoxService(previous_);
    platform::SetProcessListRoot("");
  }

  // Names no other test uses.
  std::string Name(const std::string& stem) const { return "Hv" + std::to_string(getpid()) + stem; }

  ScriptedMessageBoxes boxes_;
  platform::MessageBoxService* previous_ = nullptr;
};

TEST_F(RunningProgramsTest, FindsTheWindowOfAProgramByItsFileName) {
  XServer server(false);
  REQUIRE_X_SERVER(server);
  struct Row {
    std::string argv0;  // UTF-8, as the program was started
    std::string asked;  // narrow, as the fetch list names it
    bool found;
  };
  const std::string hangul = "갂";  // 0x81 0x41 in code page 949
  const std::vector<Row> rows = {
      {"C:\\Program Files\\Hovane\\" + Name("Up.exe"), Name("up.EXE"), true},
      {"/opt/elsewhere/" + Name("Down.exe"), Name("Down.exe"), true},
      {"/x/" + hangul + Name(".exe"), Narrow(hangul) + Name(".exe"), true},
      // 0x81 0x61 differs from 0x81 0x41 only in a trail byte that looks
      // like a letter: another name.
      {"/x/" + hangul + Name("Other.exe"), "\x81\x61" + Name("Other.exe"), false},
      {"/x/" + Name("Part.exe"), Name("Part.ex"), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.argv0);
    ClientProgram program(row.argv0, "mapped");
    ASSERT_TRUE(program.ok());
    ASSERT_NE(program.window(), 0u);
    EXPECT_EQ(FindProgramWindow(row.asked), row.found ? program.window() : 0u);
  }
}

TEST_F(RunningProgramsTest, HiddenWindowsCountAndProcessesWithoutOneDoNot) {
  XServer server(false);
  REQUIRE_X_SERVER(server);
  ClientProgram hidden("/x/" + Name("Hidden.exe"), "hidden");
  ClientProgram windowless("/x/" + Name("Windowless.exe"), "none");
  ASSERT_TRUE(hidden.ok());
  ASSERT_TRUE(windowless.ok());
  EXPECT_EQ(FindProgramWindow(Name("Hidden.exe")), hidden.window());
  EXPECT_EQ(FindProgramWindow(Name("Windowless.exe")), 0u);
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(RunningProgramsTest, FindsClientWindowsInsideAWindowManagersFrames) {
  XServer server(true);
  REQUIRE_X_SERVER(server);
  ClientProgram shown("/x/" + Name("Framed.exe"), "mapped");
  ClientProgram hidden("/x/" + Name("FramedHidden.exe"), "hidden");
  ASSERT_TRUE(shown.ok());
  ASSERT_TRUE(hidden.ok());
  ASSERT_TRUE(shown.reparented()) << "openbox did not frame the window";
  EXPECT_EQ(FindProgramWindow(Name("Framed.exe")), shown.window());
  EXPECT_EQ(FindProgramWindow(Name("FramedHidden.exe")), hidden.window());
}

TEST_F(RunningProgramsTest, OnlyTheFirstProcessOfANameIsLookedAt) {
  XServer server(false);
  REQUIRE_X_SERVER(server);
  ClientProgram first("/x/" + Name("Twice.exe"), "none");
  ClientProgram second("/y/" + Name("Twice.exe"), "mapped");
  ASSERT_TRUE(first.ok());
  ASSERT_TRUE(second.ok());
  // The list comes in process-id order; ids almost always rise, but may wrap.
  const bool windowlessFirst = first.pid() < second.pid();
  EXPECT_EQ(FindProgramWindow(Name("Twice.exe")), windowlessFirst ? 0u : second.window());
}

TEST_F(RunningProgramsTest, ARunningProgramStopsTheCheckWithItsMessage) {
  XServer server(false);
  REQUIRE_X_SERVER(server);
  // Only programs are looked for: the running library is not.
  ClientProgram library("/x/" + Name("Lib.dll"), "mapped");
  ClientProgram program("/x/" + Name("Prog.exe"), "mapped");
  ASSERT_TRUE(library.ok());
  ASSERT_TRUE(program.ok());
  constexpr std::uintptr_t kOwner = 0x1234;

  auto libraryOnly = FetchList({Name("Lib.dll"), Name("Other.exe")});
  EXPECT_TRUE(CheckRunningPrograms(libraryOnly.data(), libraryOnly.size(), kOwner));
  EXPECT_TRUE(boxes_.Shown().empty());

  auto withProgram = FetchList({Name("Lib.dll"), Name("PROG.exe"), Name("Other.exe")});
  EXPECT_FALSE(CheckRunningPrograms(withProgram.data(), withProgram.size(), kOwner));
  const std::vector<platform::MessageBoxRequest> shown = boxes_.Shown();
  ASSERT_EQ(shown.size(), 1u);
  const platform::MessageBoxRequest& box = shown[0];
  EXPECT_EQ(Utf8(box.text), "실행중인 모든 호바네 업로드, 다운로드 프로그램을 종료해 주십시오.");
  EXPECT_EQ(Utf8(box.caption), "알림");
  EXPECT_EQ(box.icon, MessageBoxIcon::Error);
  EXPECT_EQ(box.buttons, platform::MessageBoxButtons::Ok);
  EXPECT_EQ(box.owner, kOwner);
}

TEST_F(RunningProgramsTest, TheForeignMainProgramIsLookedUpUnderItsOwnName) {
  XServer server(false);
  REQUIRE_X_SERVER(server);
  auto list = FetchList({"GlobalHoVane.exe"});
  {
    ClientProgram installedAs("C:\\Program Files\\Hovane\\HoVane.exe", "mapped");
    ASSERT_TRUE(installedAs.ok());
    EXPECT_TRUE(CheckRunningPrograms(list.data(), list.size(), 0));
  }
  ClientProgram running("C:\\Program Files\\Hovane\\GlobalHoVane.exe", "mapped");
  ASSERT_TRUE(running.ok());
  EXPECT_FALSE(CheckRunningPrograms(list.data(), list.size(), 0));
}

TEST_F(RunningProgramsTest, ListsWithoutProgramsTakeNoProcessList) {
  // Any look at the process list would show a diagnostic.
  platform::SetProcessListRoot("/nonexistent/proc");
  ClientProgram inUse("/x/" + Name("InUse.dll"), "none");
  ASSERT_TRUE(inUse.ok());
  auto empty = FetchList({});
  auto noPrograms = FetchList({Name("InUse.dll"), "HoVane.ocx", "HoVane.ico", "Setup.ses"});
  EXPECT_TRUE(CheckRunningPrograms(nullptr, 0, 0));
  EXPECT_TRUE(CheckRunningPrograms(empty.data(), empty.size(), 0));
  EXPECT_TRUE(CheckRunningPrograms(noPrograms.data(), noPrograms.size(), 0));
  // A count larger than the block: only the records in it are read.
  auto overstated = FetchList({"a.dll", "b.dll"});
  overstated[0].nCount = 1000;
  EXPECT_TRUE(CheckRunningPrograms(overstated.data(), overstated.size(), 0));
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(RunningProgramsTest, AProcessListThatCannotBeReadIsReportedPerProgram) {
  test::TempPrefix prefix;
  const std::string emptyList = prefix.root() + "/emptyproc";
  fs::create_directories(emptyList);
  struct Row {
    std::string root;
    const char* diagnostic;
  };
  const Row rows[] = {
      {prefix.root() + "/missing", "CreateToolhelp32Snapshot (of processes)"},
      {emptyList, "Process32First"},
  };
  auto list = FetchList({"a.exe", "b.dll", "c.EXE"});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.diagnostic);
    boxes_.Clear();
    platform::SetProcessListRoot(row.root);
    // Counted as not running: the update may go on.
    EXPECT_TRUE(CheckRunningPrograms(list.data(), list.size(), 0x99));
    ASSERT_EQ(boxes_.Shown().size(), 2u);
    for (const platform::MessageBoxRequest& box : boxes_.Shown()) {
      EXPECT_EQ(box.text, row.diagnostic);
      EXPECT_EQ(box.caption, "HoVaneUpdate");
      EXPECT_EQ(box.icon, MessageBoxIcon::None);
      EXPECT_EQ(box.owner, 0u);
    }
  }
}

TEST_F(RunningProgramsTest, WithoutADisplayNoProgramHasAWindow) {
  unsetenv("DISPLAY");
  ClientProgram program("/x/" + Name("NoDisplay.exe"), "none");
  ASSERT_TRUE(program.ok());
  auto list = FetchList({Name("NoDisplay.exe")});
  EXPECT_EQ(FindProgramWindow(Name("NoDisplay.exe")), 0u);
  EXPECT_TRUE(CheckRunningPrograms(list.data(), list.size(), 0));
  EXPECT_TRUE(boxes_.Shown().empty());
}

}  // namespace
}  // namespace hovane
