// Process and window list: names of real processes as the system sees them,
// the order of the list, an unreadable or empty list, and no windows
// without a display.
#include "platform/processes/processes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/temp_prefix.h"
#include "platform/codepage/codepage.h"

extern char** environ;

namespace hovane::platform {
namespace {

namespace fs = std::filesystem;
using test::WriteHostFile;

// A real process that sleeps under the argv[0] it is given; killed at the
// end of its scope.
class SleepingProcess {
 public:
  explicit SleepingProcess(const std::string& argv0) {
    char* argv[] = {const_cast<char*>(argv0.c_str()), const_cast<char*>("300"), nullptr};
    if (posix_spawnp(&pid_, "sleep", nullptr, nullptr, argv, environ) != 0) {
      pid_ = -1;
      return;
    }
    // posix_spawn returns while the kernel may still be laying out the new
    // program's arguments; until then the command line reads empty.
    const std::string cmdline = "/proc/" + std::to_string(pid_) + "/cmdline";
    for (int i = 0; i < 10000 && test::ReadHostFile(cmdline).empty(); ++i) usleep(1000);
  }
  ~SleepingProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  SleepingProcess(const SleepingProcess&) = delete;
  SleepingProcess& operator=(const SleepingProcess&) = delete;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

class ProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetSystemCodePage(949)); }
  void TearDown() override { SetProcessListRoot(""); }
  // Unlike the names of other processes, these are this test's own.
  const std::string tag_ = "Hv" + std::to_string(getpid());
};

TEST_F(ProcessesTest, AProcessIsNamedByTheLastComponentOfItsFirstArgument) {
  struct Case {
    std::string argv0;
    std::string exeFile;  // narrow
  };
  const std::vector<Case> cases = {
      {"C:\\Program Files\\Hovane\\" + tag_ + "Up.exe", tag_ + "Up.exe"},
      {"/opt/hovane/" + tag_ + "Down.exe", tag_ + "Down.exe"},
      {"mixed/path\\to/" + tag_ + "Mixed.EXE", tag_ + "Mixed.EXE"},
      {"GlobalHoVane" + tag_ + "LongerThanComm.exe", "GlobalHoVane" + tag_ + "LongerThanComm.exe"},
      {"/x/호바네" + tag_ + ".exe", *Utf8ToNarrow("호바네") + tag_ + ".exe"},
      // No form in code page 949: shown as '?', as the narrow list shows it.
      {"/x/\xF0\x9F\x98\x80" + tag_ + ".exe", "?" + tag_ + ".exe"},
  };
  std::vector<std::unique_ptr<SleepingProcess>> processes;
  for (const Case& c : cases) {
    processes.push_back(std::make_unique<SleepingProcess>(c.argv0));
    ASSERT_GT(processes.back()->pid(), 0) << c.argv0;
  }
  auto snapshot = SnapshotProcesses();
  ASSERT_TRUE(snapshot.has_value());
  EXPECT_TRUE(std::is_sorted(
      snapshot->begin(), snapshot->end(),
      [](const ProcessEntry& a, const ProcessEntry& b) { return a.processId < b.processId; }));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto pid = static_cast<std::uint32_t>(processes[i]->pid());
    auto entry = std::find_if(snapshot->begin(), snapshot->end(),
                              [pid](const ProcessEntry& e) { return e.processId == pid; });
    ASSERT_NE(entry, snapshot->end()) << cases[i].argv0;
    EXPECT_EQ(entry->exeFile, cases[i].exeFile) << cases[i].argv0;
  }
  auto self = std::find_if(snapshot->begin(), snapshot->end(), [](const ProcessEntry& e) {
    return e.processId == static_cast<std::uint32_t>(getpid());
  });
  ASSERT_NE(self, snapshot->end());
  EXPECT_EQ(self->exeFile, "platform_processes_test");
}

TEST_F(ProcessesTest, AListFolderThatIsMissingEmptyOrOdd) {
  test::TempPrefix prefix;
  const std::string folder = prefix.root() + "/fakeproc";
  SetProcessListRoot(folder + "/missing");
  EXPECT_FALSE(SnapshotProcesses().has_value());

  fs::create_directories(folder);
  SetProcessListRoot(folder);
  auto empty = SnapshotProcesses();
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());

  // A kernel thread has no command line and goes by its short name; ids
  // sort as numbers; folders that are no process are skipped.
  WriteHostFile(folder + "/12/cmdline", std::string("a\\b\\Name.exe\0--flag\0", 21));
  WriteHostFile(folder + "/12/comm", "Name.exe\n");
  WriteHostFile(folder + "/7/cmdline", "");
  WriteHostFile(folder + "/7/comm", "kworker/0:1\n");
  fs::create_directories(folder + "/self");
  fs::create_directories(folder + "/99");  // ended while listed
  auto listed = SnapshotProcesses();
  ASSERT_TRUE(listed.has_value());
  ASSERT_EQ(listed->size(), 2u);
  EXPECT_EQ((*listed)[0].processId, 7u);
  EXPECT_EQ((*listed)[0].exeFile, "kworker/0:1");
  EXPECT_EQ((*listed)[1].processId, 12u);
  EXPECT_EQ((*listed)[1].exeFile, "Name.exe");
}

TEST_F(ProcessesTest, WithoutADisplayThereAreNoWindows) {
  unsetenv("DISPLAY");
  EXPECT_TRUE(ListTopLevelWindows().empty());
  // A display nobody serves.
  setenv("DISPLAY", ":4093", 1);
  EXPECT_TRUE(ListTopLevelWindows().empty());
}

}  // namespace
}  // namespace hovane::platform
