// The receive thread end to end against the reference file server as a real
// process: connect, download and install on its own thread, the outcome in
// the install-result flag, and the panel's end signal on every path.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/locations.h"
#include "catalogue/option_file.h"
#include "control/settings.h"
#include "fixtures/recording_panel.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/text.h"
#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/msgbox/message_box.h"
#include "platform/registry/registry.h"
#include "resources/texts.h"
#include "transfer/file_server_process.h"
#include "transfer/loopback_socket.h"
#include "transfer/recv_thread.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;
using test::RecordingPanel;

class ReceiveThread : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetSystemCodePage(949));
    previous_ = platform::SetMessageBoxService(&boxes);
    TheModule().m_bInstallResult = -1;
  }
  void TearDown() override { platform::SetMessageBoxService(previous_); }

  // Runs one receive thread to its end against port, with the names as the
  // fetch list; the thread object is handed back for inspection.
  void Run(CRecvThread& thread, RecordingPanel& panel, std::uint16_t port,
           const std::vector<std::string>& names) {
    fetch_.assign(std::max<std::size_t>(names.size(), 1), FetchRecord{});
    for (std::size_t i = 0; i < names.size(); ++i)
      std::strncpy(fetch_[i].szName, names[i].c_str(), kFetchNameSize - 1);
    fetch_[0].nCount = static_cast<std::int32_t>(names.size());
    thread.SetPanel(&panel);
    thread.SetServerSettings("server", "127.0.0.1", port);
    thread.SetUserId("tester");
    thread.SetFetchList(fetch_.data(), fetch_.size());
    thread.Start();
    ASSERT_TRUE(panel.WaitForThreadEnd(std::chrono::seconds(120)));
    thread.Join();
  }

  std::string InstallPath(const std::string& name) const {
    return prefix.Host(GetInstallFolder() + "\\" + name);
  }
  std::string TempPath(const std::string& name) const {
    return prefix.Host(GetTempFolder() + "\\" + name);
  }
  // The end signal came once, as the last call on the panel.
  static void ExpectEndedOnce(const RecordingPanel& panel) {
    EXPECT_EQ(panel.Count(RecordingPanel::Kind::ThreadEnd), 1);
    EXPECT_EQ(panel.Calls().back().kind, RecordingPanel::Kind::ThreadEnd);
  }

  test::TempPrefix prefix;
  platform::ScriptedMessageBoxes boxes;
  test::ServedFolder served;

 private:
  std::vector<FetchRecord> fetch_;
  platform::MessageBoxService* previous_ = nullptr;
};

TEST_F(ReceiveThread, UpdatesProgramsControlsAndTheIconFromTheServer) {
  served.Add("Client.exe", "new client");
  served.AddCopy("Plugin.ocx", REGMOD_ZERO);
  served.Add("HoVane.ico", "icon");
  // The installed client is running: it is moved aside and replaced.
  test::WriteHostFile(InstallPath("Client.exe"), "running client");
  const platform::ProgramImageHold running =
      platform::ProgramImageHold::Acquire(GetInstallFolder() + "\\Client.exe");
  test::FileServerProcess server(served.path());

  RecordingPanel panel;
  CRecvThread thread;
  Run(thread, panel, server.port(), {"Client.exe", "Plugin.ocx", "HoVane.ico"});

  EXPECT_EQ(TheModule().m_bInstallResult, 1);
  EXPECT_EQ(test::ReadHostFile(InstallPath("Client.exe")), "new client");
  EXPECT_TRUE(test::ReadHostFile(InstallPath("Plugin.dll")) == test::ReadHostFile(REGMOD_ZERO));
  EXPECT_EQ(test::ReadHostFile(InstallPath("HoVane.ico")), "icon");
  EXPECT_EQ(test::ReadHostFile(prefix.Host(COptionFile().GetDataFolder() + "\\HoVane.ico")),
            "icon");
  platform::RegistryKey registered;
  EXPECT_EQ(platform::OpenRegistryKey(platform::RegistryHive::CurrentUser,
                                      "Software\\HovaneTests\\regmod_zero",
                                      platform::RegAccess::Read, &registered),
            platform::RegStatus::Ok);
  // Only the running copy is left of the temp folder.
  EXPECT_EQ(test::ReadHostFile(TempPath("del\\Client.exe")), "running client");
  EXPECT_FALSE(fs::exists(TempPath("Plugin.ocx")));
  EXPECT_TRUE(boxes.Shown().empty());

  const auto names = panel.FileNames();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), Text(TextId::kTextRegistering));
  const auto succeeded = panel.CallsOf(RecordingPanel::Kind::UpdateSucceeded);
  ASSERT_EQ(succeeded.size(), 1u);
  EXPECT_EQ(succeeded[0].a, 1);
  ExpectEndedOnce(panel);
}

TEST_F(ReceiveThread, EveryOutcomeReachesTheFlagAndEndsWithTheSignal) {
  served.Add("A.exe", "a");
  served.Add("Held.exe", "held");
  const std::string error = test::Narrow("서버 점검 중입니다");
  enum class Peer { Server, RefusingPort, SilentPort };
  const struct {
    const char* what;
    Peer peer;
    std::vector<std::string> serverOptions;
    std::vector<std::string> names;
    std::int32_t result;
    std::vector<std::string> texts;
    bool installed;  // A.exe in the install folder afterwards
  } cases[] = {
      {"refused port", Peer::RefusingPort, {}, {"A.exe"}, 0, {}, false},
      {"silent port", Peer::SilentPort, {}, {"A.exe"}, 0, {}, false},
      {"error reply", Peer::Server, {"--fault", "error:list", "--error-text", "서버 점검 중입니다"},
       {"A.exe"}, 0, {error}, false},
      {"empty download list", Peer::Server, {}, {"missing.exe"}, 1, {}, false},
      {"held without delete sharing", Peer::Server, {}, {"A.exe", "Held.exe"}, 0, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(prefix.Host(GetInstallFolder()));
    test::WriteHostFile(InstallPath("Held.exe"), "installed");
    platform::File held = platform::File::Open(GetInstallFolder() + "\\Held.exe",
                                               platform::OpenMode::OpenExisting,
                                               platform::Access::Read, platform::Share::NoDelete);
    boxes.Clear();
    RecordingPanel panel;
    CRecvThread thread;
    if (c.peer == Peer::RefusingPort) {
      const test::LoopbackSocket refusing;  // bound, not listening
      Run(thread, panel, refusing.port, c.names);
    } else if (c.peer == Peer::SilentPort) {
      const test::SilentListener silent;
      Run(thread, panel, silent.port(), c.names);
    } else {
      test::FileServerProcess server(served.path(), c.serverOptions);
      Run(thread, panel, server.port(), c.names);
    }

    EXPECT_EQ(TheModule().m_bInstallResult, c.result);
    EXPECT_FALSE(thread.Failed());
    std::vector<std::string> texts;
    for (const auto& box : boxes.Shown()) texts.push_back(box.text);
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(fs::exists(InstallPath("A.exe")), c.installed);
    EXPECT_EQ(panel.Count(RecordingPanel::Kind::UpdateSucceeded), c.result);
    EXPECT_EQ(fs::exists(TempPath("Held.exe")), c.installed);
    ExpectEndedOnce(panel);
  }
}

}  // namespace
}  // namespace hovane
