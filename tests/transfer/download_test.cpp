// Downloads from the reference file server, hovane-fileserver, as a real
// process on 127.0.0.1: whole exchanges, resumption, every fault the server
// can inject, its refusals, and many clients at once.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/locations.h"
#include "fixtures/recording_panel.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/text.h"
#include "platform/codepage/codepage.h"
#include "platform/msgbox/message_box.h"
#include "platform/tcp/tcp.h"
#include "resources/texts.h"
#include "transfer/file_server_process.h"
#include "transfer/recv_thread.h"
#include "transfer/scripted_server.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;

std::string Pattern(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
  for (char& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

using test::Narrow;

bool LogHas(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines)
    if (line.find(part) != std::string::npos) return true;
  return false;
}

// A folder of files for the server, removed at the end.
class ServedFolder {
 public:
  ServedFolder() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("hovane-served-" + std::to_string(random()));
    fs::create_directories(path_);
  }
  ~ServedFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  void Add(const std::string& utf8Name, const std::string& content) {
    test::WriteHostFile((path_ / utf8Name).string(), content);
  }
  std::string path() const { return path_.string(); }

 private:
  fs::path path_;
};

class Download : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::SetMessageBoxService(&boxes);
    served.Add("small.txt", Pattern(1000, 1));
    served.Add("big.bin", Pattern(300000, 2));
    served.Add("last.txt", Pattern(10, 3));
    served.Add("empty.dat", "");
    served.Add("한글 파일.txt", Pattern(5000, 4));
  }
  void TearDown() override { platform::SetMessageBoxService(previous_); }

  // A fetch list of narrow names.
  static std::vector<FetchRecord> FetchList(const std::vector<std::string>& names) {
    std::vector<FetchRecord> list(names.size(), FetchRecord{});
    for (std::size_t i = 0; i < names.size(); ++i)
      std::strncpy(list[i].szName, names[i].c_str(), kFetchNameSize - 1);
    if (!list.empty()) list[0].nCount = static_cast<std::int32_t>(names.size());
    return list;
  }

  std::string HostTempPath(const std::string& narrowName) const {
    return prefix.Host(GetTempFolder() + "\\" + narrowName);
  }
  std::optional<std::string> Temp(const std::string& narrowName) const {
    if (!fs::exists(HostTempPath(narrowName))) return std::nullopt;
    return test::ReadHostFile(HostTempPath(narrowName));
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes.Shown()) texts.push_back(box.text);
    return texts;
  }

  test::TempPrefix prefix;
  platform::ScriptedMessageBoxes boxes;
  test::RecordingPanel panel;
  ServedFolder served;

 private:
  platform::MessageBoxService* previous_ = nullptr;
};

TEST_F(Download, FetchesEveryListedFileIntoTheTempFolder) {
  test::FileServerProcess server(served.path());
  const std::string korean = Narrow("한글 파일.txt");
  auto fetch =
      FetchList({"small.txt", "missing.bin", "empty.dat", korean, "../big.bin", "big.bin"});
  CRecvThread client;
  client.SetPanel(&panel);
  client.SetUserId("tester");
  client.SetFetchList(fetch.data(), fetch.size());
  ASSERT_TRUE(client.ConnectServer("127.0.0.1", server.port()));
  EXPECT_TRUE(client.DownloadFiles());
  EXPECT_FALSE(client.Failed());
  EXPECT_FALSE(client.HasSocket());

  // The list holds the names that exist in the served folder, in order.
  ASSERT_EQ(client.DownloadList().size(), 4u);
  EXPECT_EQ(Temp("small.txt"), Pattern(1000, 1));
  EXPECT_EQ(Temp("empty.dat"), "");
  EXPECT_EQ(Temp(korean), Pattern(5000, 4));
  EXPECT_EQ(Temp("big.bin"), Pattern(300000, 2));
  EXPECT_FALSE(Temp("missing.bin"));
  EXPECT_TRUE(Texts().empty());

  EXPECT_EQ(panel.FileNames(),
            (std::vector<std::string>{"small.txt", "empty.dat", korean, "big.bin"}));
  EXPECT_EQ(panel.BarRanges().back(), std::make_pair(0, 300000 / 1024));
  EXPECT_EQ(panel.BarPositions().back(), 300000 / 1024);

  const auto log = server.LogLines();
  EXPECT_TRUE(LogHas(log, "list 6 names -> 4 entries"));
  EXPECT_TRUE(LogHas(log, "file ./big.bin offset 0 size 300000"));
  EXPECT_TRUE(LogHas(log, "file ./한글 파일.txt offset 0 size 5000"));
  EXPECT_TRUE(LogHas(log, "end"));
}

TEST_F(Download, ResumesAPartialFileOnlyWhenTheUserAgrees) {
  test::FileServerProcess server(served.path());
  const std::string full = Pattern(300000, 2);
  const struct {
    platform::MessageBoxResult answer;
    const char* logged;
  } cases[] = {
      {platform::MessageBoxResult::Yes, "file ./big.bin offset 100000 size 300000"},
      {platform::MessageBoxResult::No, "file ./big.bin offset 0 size 300000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    test::WriteHostFile(HostTempPath("big.bin"), full.substr(0, 100000));
    boxes.Clear();
    boxes.QueueAnswer(c.answer);
    auto fetch = FetchList({"big.bin"});
    CRecvThread client;
    client.SetPanel(&panel);
    client.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(client.ConnectServer("127.0.0.1", server.port()));
    EXPECT_TRUE(client.DownloadFiles());
    EXPECT_FALSE(client.Failed());
    EXPECT_EQ(Temp("big.bin"), full);
    EXPECT_EQ(boxes.Shown().size(), 1u);
    EXPECT_TRUE(LogHas(server.LogLines(), c.logged));
  }
}

TEST_F(Download, InjectedFaultsFailOrSkipAsTheProtocolSays) {
  const std::string error = "서버 점검 중입니다";
  const std::string closedText = platform::DescribeTcpError(platform::kTcpClosedByPeer);
  const std::string unknownText = [] {
    std::string text = Text(TextId::kTextUnexpectedReply);
    return text.replace(text.find("%s"), 2, "99");
  }();
  const std::string small = Pattern(1000, 1), big = Pattern(300000, 2), last = Pattern(10, 3);
  using Files = std::map<std::string, std::optional<std::string>>;
  const struct {
    std::string fault;
    bool result;
    bool failed;
    std::vector<std::string> texts;
    Files files;  // nullopt: not in the temp folder
    std::vector<std::string> logged;
    std::vector<std::string> notLogged;
  } cases[] = {
      {"error:list",
       true,
       true,
       {Narrow(error)},
       {{"small.txt", std::nullopt}},
       {"fault: error at list", "end"},
       {"file "}},
      {"error:2",
       true,
       true,
       {Narrow(error)},
       {{"small.txt", small}, {"big.bin", ""}, {"last.txt", std::nullopt}},
       {"fault: error at file 2", "end"},
       {"last.txt"}},
      {"nodata:2",
       true,
       false,
       {},
       {{"small.txt", small}, {"big.bin", ""}, {"last.txt", last}},
       {"fault: nodata at file 2", "file ./last.txt"},
       {}},
      {"close:1500",
       true,
       true,
       {closedText},
       {{"small.txt", small}, {"big.bin", big.substr(0, 500)}, {"last.txt", std::nullopt}},
       {"fault: close after 1500 content bytes"},
       {"last.txt"}},
      {"unknown:list",
       true,
       true,
       {unknownText},
       {{"small.txt", std::nullopt}},
       {"fault: unknown command at list"},
       {"file "}},
      {"unknown:2",
       true,
       true,
       {unknownText},
       {{"small.txt", small}, {"big.bin", ""}, {"last.txt", std::nullopt}},
       {"fault: unknown command at file 2"},
       {"last.txt"}},
      {"stall:2",
       true,
       true,
       {},
       {{"small.txt", small}, {"big.bin", ""}, {"last.txt", std::nullopt}},
       {"fault: stall at file 2"},
       {"last.txt"}},
      {"stall:list",
       false,
       false,
       {},
       {{"small.txt", std::nullopt}},
       {"fault: stall at list"},
       {"file "}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    fs::remove_all(prefix.Host(GetTempFolder()));
    boxes.Clear();
    std::optional<test::FileServerProcess> server;
    server.emplace(served.path(),
                   std::vector<std::string>{"--fault", c.fault, "--error-text", error});
    auto fetch = FetchList({"small.txt", "big.bin", "last.txt"});
    CRecvThread client;
    client.SetPanel(&panel);
    client.SetFetchList(fetch.data(), fetch.size());
    client.SetStallLimit(std::chrono::milliseconds(300));
    ASSERT_TRUE(client.ConnectServer("127.0.0.1", server->port()));
    EXPECT_EQ(client.DownloadFiles(), c.result);
    EXPECT_EQ(client.Failed(), c.failed);
    EXPECT_EQ(Texts(), c.texts);
    for (const auto& [name, content] : c.files) EXPECT_EQ(Temp(name), content) << name;
    client.CloseConnection();
    const auto log = server->LogLines();
    for (const std::string& part : c.logged) EXPECT_TRUE(LogHas(log, part)) << part;
    for (const std::string& part : c.notLogged) EXPECT_FALSE(LogHas(log, part)) << part;
  }
}

TEST_F(Download, ServerRefusesWhatItMustNotServe) {
  served.Add("sub/inner.txt", "inner");
  ServedFolder outside;
  outside.Add("secret.txt", "secret");
  fs::create_symlink(fs::path(outside.path()) / "secret.txt", fs::path(served.path()) / "link.txt");
  test::FileServerProcess server(served.path());

  CRecvThread client;  // its connection members, used as a raw client
  ASSERT_TRUE(client.ConnectServer("127.0.0.1", server.port()));
  auto request = [&](const std::string& message) {
    EXPECT_EQ(client.SendData(message.data(), static_cast<int>(message.size())),
              static_cast<int>(message.size()));
    char header[28];
    EXPECT_EQ(client.ReceiveData(header, 28), 28);
    const PacketHeader decoded = DecodePacketHeader(header);
    EXPECT_LT(decoded.nStatus, 0);
    std::array<char, kErrorTextSize> text;
    EXPECT_EQ(client.ReceiveData(text.data(), 256), 256);
    return FieldText(text);
  };
  auto fileRequest = [](double offset, const std::string& path) {
    std::string message = test::Header(1000, 1, 776) + test::LeDouble(offset) + path;
    message.resize(test::kFileRequestBytes, '\0');
    return message;
  };
  const struct {
    double offset;
    std::string path;
    std::string text;
  } cases[] = {
      {0, "../secret.txt", "path outside the served folder: ../secret.txt"},
      {0, "./sub/../../secret.txt", "path outside the served folder: ./sub/../../secret.txt"},
      {0, "./link.txt", "path outside the served folder: ./link.txt"},
      {0, "./missing.bin", "no such file: ./missing.bin"},
      {0, "./sub", "not a file: ./sub"},
      {-1, "./small.txt", "bad offset for ./small.txt"},
      {1.5, "./small.txt", "bad offset for ./small.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(request(fileRequest(c.offset, c.path)), c.text) << c.path;
  EXPECT_EQ(request(test::Header(42, 0, 0)), "unknown command 42");

  // A served path inside a subfolder is fine.
  const std::string ok = fileRequest(0, "sub/inner.txt");
  ASSERT_EQ(client.SendData(ok.data(), static_cast<int>(ok.size())), static_cast<int>(ok.size()));
  char reply[28 + 8 + 5];
  ASSERT_EQ(client.ReceiveData(reply, sizeof reply), static_cast<int>(sizeof reply));
  EXPECT_EQ(std::string(reply + 36, 5), "inner");

  // A request of a length the server cannot follow gets an error reply, and
  // the connection ends.
  const std::string malformed = test::Header(10001, 1, 100);
  EXPECT_EQ(request(malformed), "malformed request (command 10001, 1 x 100 bytes)");
  char after[1];
  EXPECT_EQ(client.ReceiveData(after, 1), 0);
}

TEST_F(Download, ServesTwoHundredClientsAtOnce) {
  constexpr int kClients = 200;
  for (int i = 0; i < kClients; ++i)
    served.Add("file" + std::to_string(i) + ".bin", Pattern(40000, i));
  test::FileServerProcess server(served.path());

  std::vector<std::vector<FetchRecord>> fetches;
  std::vector<std::unique_ptr<test::RecordingPanel>> panels;
  std::vector<std::unique_ptr<CRecvThread>> clients;
  for (int i = 0; i < kClients; ++i) {
    fetches.push_back(FetchList({"file" + std::to_string(i) + ".bin"}));
    panels.push_back(std::make_unique<test::RecordingPanel>());
    clients.push_back(std::make_unique<CRecvThread>());
    clients.back()->SetPanel(panels.back().get());
    clients.back()->SetFetchList(fetches.back().data(), fetches.back().size());
    // Every connection is open before any download starts.
    ASSERT_TRUE(clients.back()->ConnectServer("127.0.0.1", server.port())) << i;
  }
  std::vector<std::thread> threads;
  std::vector<int> results(kClients, -1);
  for (int i = 0; i < kClients; ++i)
    threads.emplace_back([&, i] {
      const bool downloaded = clients[static_cast<std::size_t>(i)]->DownloadFiles();
      results[static_cast<std::size_t>(i)] =
          downloaded && !clients[static_cast<std::size_t>(i)]->Failed() ? 1 : 0;
    });
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kClients; ++i) {
    EXPECT_EQ(results[static_cast<std::size_t>(i)], 1) << i;
    EXPECT_EQ(Temp("file" + std::to_string(i) + ".bin"), Pattern(40000, i)) << i;
  }
  EXPECT_TRUE(boxes.Shown().empty());
}

}  // namespace
}  // namespace hovane
