// The download protocol against scripted servers on 127.0.0.1: the exact
// bytes of every request, the edge cases of the exchange, every failure row,
// and the replies of hostile or broken servers.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "catalogue/locations.h"
#include "fixtures/recording_panel.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/text.h"
#include "platform/codepage/codepage.h"
#include "platform/msgbox/message_box.h"
#include "platform/tcp/tcp.h"
#include "resources/texts.h"
#include "transfer/recv_thread.h"
#include "transfer/scripted_server.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;
using test::EndReply;
using test::Entry;
using test::ErrorReply;
using test::FileReply;
using test::Header;
using test::kFileRequestBytes;
using test::kHeaderBytes;
using test::Le32;
using test::LeDouble;
using test::ListReply;
using test::ListRequestBytes;
using Kind = test::RecordingPanel::Kind;

constexpr char kUser[] = "user";

// Records boxes like ScriptedMessageBoxes, and runs a hook after each one, to
// act at the exact moment a box is shown.
class HookedBoxes : public platform::MessageBoxService {
 public:
  platform::MessageBoxResult Show(const platform::MessageBoxRequest& request) override {
    const auto answer = inner.Show(request);
    if (hook) hook(request);
    return answer;
  }
  platform::ScriptedMessageBoxes inner;
  std::function<void(const platform::MessageBoxRequest&)> hook;
};

// The bytes of a file request as the protocol lays them out.
std::string FileRequestBytes(double offset, const std::string& path) {
  std::string request = Header(1000, 1, 776, 0, kUser) + LeDouble(offset) + path;
  request.resize(kFileRequestBytes, '\0');
  return request;
}

std::string EndNotice() { return Header(5, 0, 0, 0, ""); }

std::string Pattern(std::size_t size, char seed = 0) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 13 + i / 251);
  return bytes;
}

using test::Narrow;

class Protocol : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::SetMessageBoxService(&boxes);
    Fetch({"a.bin", "b.bin", "c.bin"});
  }
  void TearDown() override { platform::SetMessageBoxService(previous_); }

  void Fetch(const std::vector<std::string>& names) {
    fetch.assign(names.size(), FetchRecord{});
    for (std::size_t i = 0; i < names.size(); ++i)
      std::strncpy(fetch[i].szName, names[i].c_str(), kFetchNameSize - 1);
    if (!fetch.empty()) fetch[0].nCount = static_cast<std::int32_t>(names.size());
  }

  // Connects the client to the scripted server and runs the download.
  bool Download() {
    server.Start();
    client.SetPanel(&panel);
    client.SetUserId(kUser);
    client.SetFetchList(fetch.data(), fetch.size());
    EXPECT_TRUE(client.ConnectServer("127.0.0.1", server.port()));
    return client.DownloadFiles();
  }

  // What the client sent, once it has closed the connection.
  std::string Sent() {
    client.CloseConnection();
    return server.Received();
  }

  std::string ListRequest() const {
    std::string request = Header(10001, static_cast<std::int32_t>(fetch.size()), 260, 0, kUser);
    for (const FetchRecord& record : fetch)
      request += Le32(record.nCount) + std::string(record.szName, kFetchNameSize);
    return request;
  }

  static std::string TempPath(const std::string& name) { return GetTempFolder() + "\\" + name; }
  std::string HostTempPath(const std::string& name) const { return prefix.Host(TempPath(name)); }
  std::string ReadTemp(const std::string& name) const {
    return test::ReadHostFile(HostTempPath(name));
  }
  bool TempExists(const std::string& name) const { return fs::exists(HostTempPath(name)); }
  void WriteTemp(const std::string& name, const std::string& content) const {
    test::WriteHostFile(HostTempPath(name), content);
  }
  // Every file below the install folder, as paths relative to it.
  std::vector<std::string> InstallTree() const {
    std::vector<std::string> files;
    const fs::path root = prefix.Host(GetInstallFolder());
    if (!fs::exists(root)) return files;
    for (const auto& item : fs::recursive_directory_iterator(root))
      if (!item.is_directory()) files.push_back(fs::relative(item.path(), root).string());
    return files;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes.inner.Shown()) {
      EXPECT_EQ(box.caption, Text(TextId::kTextNotice));
      EXPECT_EQ(box.owner, test::RecordingPanel::kOwner);
      texts.push_back(box.text);
    }
    return texts;
  }

  static std::string Filled(TextId id, const std::vector<std::string>& values) {
    std::string text = Text(id);
    for (const std::string& value : values) text.replace(text.find("%s"), 2, value);
    return text;
  }

  test::TempPrefix prefix;
  HookedBoxes boxes;
  test::RecordingPanel panel;
  test::ScriptedServer server;
  std::vector<FetchRecord> fetch;
  CRecvThread client;

 private:
  platform::MessageBoxService* previous_ = nullptr;
};

// ---------------------------------------------------------------- requests

TEST_F(Protocol, ListRequestCarriesTheFetchListSlotBySlot) {
  server.Read(ListRequestBytes(3)).Send(EndReply());
  EXPECT_TRUE(Download());
  EXPECT_FALSE(client.Failed());

  const std::string sent = Sent();
  ASSERT_EQ(sent.size(), 28u + 780u);
  EXPECT_EQ(sent.substr(0, 28), Header(10001, 3, 260, 0, kUser));
  EXPECT_EQ(sent.substr(28, 4), Le32(3));
  EXPECT_EQ(sent.substr(28 + 260, 4), Le32(0));
  EXPECT_EQ(sent.substr(28 + 520 + 4, 6), std::string("c.bin\0", 6));
  EXPECT_EQ(sent, ListRequest());
}

TEST_F(Protocol, UserIdIsCutOrZeroFilledToTwelveBytes) {
  const struct {
    std::string userId;
    std::string field;
  } cases[] = {
      {"abcdefghijklmno", "abcdefghijkl"},
      {"abcde", std::string("abcde\0\0\0\0\0\0\0", 12)},
      {"", std::string(12, '\0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.userId);
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3)).Send(EndReply());
    peer.Start();
    CRecvThread other;
    other.SetUserId(c.userId);
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_EQ(peer.Received().substr(16, 12), c.field);
  }
}

TEST_F(Protocol, OneEntryIsMarkedLastSoTheEndNoticeFollowsItsContent) {
  const std::string content = Pattern(700);
  server.Read(ListRequestBytes(3))
      .Send(ListReply({Entry("a.bin", "files", 0)}))
      .Read(kFileRequestBytes)
      .Send(FileReply(700) + content)
      .Read(kHeaderBytes)
      .Send(EndReply());
  EXPECT_TRUE(Download());
  EXPECT_FALSE(client.Failed());
  EXPECT_EQ(ReadTemp("a.bin"), content);
  ASSERT_EQ(client.DownloadList().size(), 1u);
  EXPECT_EQ(client.DownloadList()[0].nPosition, 2);
  EXPECT_EQ(Sent(), ListRequest() + FileRequestBytes(0, "files/a.bin") + EndNotice());

  // Below 1024 bytes the bar counts bytes.
  EXPECT_EQ(panel.FileNames(), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(panel.BarRanges(), (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 700}}));
  EXPECT_EQ(panel.BarPositions(), (std::vector<std::int32_t>{0, 700}));
  EXPECT_EQ(panel.Count(Kind::BringDialogToFront), 1);
  EXPECT_EQ(panel.CallsOf(Kind::TextVisible).at(0).a, 1);
  EXPECT_TRUE(Texts().empty());
}

TEST_F(Protocol, AMiddleEntryMarkedLastEndsTheDownloadThere) {
  server.Read(ListRequestBytes(3))
      .Send(ListReply(
          {Entry("a.bin", "files", 2), Entry("b.bin", "files", 2), Entry("c.bin", "files", 0)}))
      .Read(kFileRequestBytes)
      .Send(FileReply(3) + "aaa")
      .Read(kFileRequestBytes)
      .Send(FileReply(3) + "bbb")
      .Read(kHeaderBytes)
      .Send(EndReply());
  EXPECT_TRUE(Download());
  EXPECT_FALSE(client.Failed());
  // The first entry's mark is cleared, the last one's set; the middle one
  // keeps what the server sent.
  ASSERT_EQ(client.DownloadList().size(), 3u);
  EXPECT_EQ(client.DownloadList()[0].nPosition, 0);
  EXPECT_EQ(client.DownloadList()[1].nPosition, 2);
  EXPECT_EQ(client.DownloadList()[2].nPosition, 2);
  EXPECT_EQ(Sent(), ListRequest() + FileRequestBytes(0, "files/a.bin") +
                        FileRequestBytes(0, "files/b.bin") + EndNotice());
  EXPECT_EQ(ReadTemp("a.bin"), "aaa");
  EXPECT_EQ(ReadTemp("b.bin"), "bbb");
  EXPECT_FALSE(TempExists("c.bin"));
}

TEST_F(Protocol, APartialFileIsResumedOrRestartedAsTheUserAnswers) {
  const std::string served = Pattern(12000, 5);
  const struct {
    platform::MessageBoxResult answer;
    double offset;
    std::int32_t firstPosition;
  } cases[] = {
      {platform::MessageBoxResult::Yes, 5000.0, 5},
      {platform::MessageBoxResult::No, 0.0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    test::RecordingPanel bar;
    test::ScriptedServer peer;
    const auto skipped = static_cast<std::size_t>(c.offset);
    peer.Read(ListRequestBytes(3))
        .Send(ListReply({Entry("a.bin")}))
        .Read(kFileRequestBytes)
        .Send(FileReply(12000) + served.substr(skipped))
        .Read(kHeaderBytes)
        .Send(EndReply());
    peer.Start();
    WriteTemp("a.bin", served.substr(0, 5000));
    boxes.inner.Clear();
    boxes.inner.QueueAnswer(c.answer);

    CRecvThread other;
    other.SetPanel(&bar);
    other.SetUserId(kUser);
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_FALSE(other.Failed());
    EXPECT_EQ(ReadTemp("a.bin"), served);
    EXPECT_EQ(peer.Received().substr(ListRequestBytes(3), kFileRequestBytes),
              FileRequestBytes(c.offset, "files/a.bin"));
    EXPECT_EQ(bar.BarRanges(), (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 11}}));
    EXPECT_EQ(bar.BarPositions().front(), c.firstPosition);
    EXPECT_EQ(bar.BarPositions().back(), 11);

    const auto shown = boxes.inner.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, Filled(TextId::kTextResumeQuestion, {TempPath("a.bin")}));
    EXPECT_EQ(shown[0].buttons, platform::MessageBoxButtons::YesNo);
    EXPECT_EQ(shown[0].icon, platform::MessageBoxIcon::Question);
  }
}

TEST_F(Protocol, ALocalFileAsLongAsTheServersIsLeftAlone) {
  for (const std::size_t local : {std::size_t{1000}, std::size_t{1300}}) {
    SCOPED_TRACE(local);
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3))
        .Send(ListReply({Entry("a.bin")}))
        .Read(kFileRequestBytes)
        .Send(FileReply(1000))
        .Read(kHeaderBytes)
        .Send(EndReply());
    peer.Start();
    const std::string existing = Pattern(local, 9);
    WriteTemp("a.bin", existing);
    CRecvThread other;
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_FALSE(other.Failed());
    EXPECT_EQ(ReadTemp("a.bin"), existing);
    const std::string sent = peer.Received();
    EXPECT_EQ(sent.substr(ListRequestBytes(3), 36).substr(28),
              LeDouble(static_cast<double>(local)));
    EXPECT_EQ(sent.substr(sent.size() - kHeaderBytes), EndNotice());
  }
}

TEST_F(Protocol, NoDataForAFileSkipsIt) {
  server.Read(ListRequestBytes(3))
      .Send(ListReply({Entry("a.bin"), Entry("b.bin")}))
      .Read(kFileRequestBytes)
      .Send(Header(7, 0, 0))
      .Read(kFileRequestBytes)
      .Send(FileReply(2) + "bb")
      .Read(kHeaderBytes)
      .Send(EndReply());
  EXPECT_TRUE(Download());
  EXPECT_FALSE(client.Failed());
  EXPECT_TRUE(TempExists("a.bin"));
  EXPECT_EQ(ReadTemp("a.bin"), "");
  EXPECT_EQ(ReadTemp("b.bin"), "bb");
  EXPECT_EQ(Sent(), ListRequest() + FileRequestBytes(0, "files/a.bin") +
                        FileRequestBytes(0, "files/b.bin") + EndNotice());
}

TEST_F(Protocol, ListAnsweredWithoutAListEndsWithNothingToFetch) {
  // CMD_END, CMD_NODATA, and an end header cut to 20 bytes by a close.
  for (const std::string& reply : {EndReply(), Header(7, 0, 0), EndReply().substr(0, 20)}) {
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3)).Send(reply).Close();
    peer.Start();
    CRecvThread other;
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_FALSE(other.Failed());
    EXPECT_TRUE(other.DownloadList().empty());
    EXPECT_EQ(peer.Received().size(), ListRequestBytes(3));
  }
  EXPECT_TRUE(Texts().empty());
}

TEST_F(Protocol, AHeaderCutShortIsReadWithItsMissingBytesZero) {
  // A list header of 20 bytes: count 0, item size 1292, status 0, and 4 of
  // the 12 user-id bytes; the rest counts as zero.
  server.Read(ListRequestBytes(3)).Send(Header(10001, 0, 1292).substr(0, 20)).Close();
  EXPECT_TRUE(Download());
  EXPECT_FALSE(client.Failed());
  EXPECT_TRUE(client.ListReceived());
  EXPECT_TRUE(client.DownloadList().empty());
}

// ---------------------------------------------------------------- failures

TEST_F(Protocol, ListRequestThatCannotBeSentLeavesTheConnectionToTheThread) {
  server.Hold();
  server.Start();
  client.SetPanel(&panel);
  client.SetFetchList(fetch.data(), fetch.size());
  ASSERT_TRUE(client.ConnectServer("127.0.0.1", server.port()));
  server.ResetNow();
  EXPECT_FALSE(client.DownloadFiles());
  EXPECT_TRUE(client.HasSocket());
  EXPECT_EQ(Texts(),
            std::vector<std::string>{platform::DescribeTcpError(platform::LastTcpError())});
  const int error = platform::LastTcpError();
  EXPECT_TRUE(error == ECONNRESET || error == EPIPE) << error;
}

TEST_F(Protocol, FirstReplyThatCannotBeReadClosesSilently) {
  server.Read(ListRequestBytes(3)).Close();
  EXPECT_FALSE(Download());
  EXPECT_FALSE(client.HasSocket());
  EXPECT_TRUE(Texts().empty());
}

TEST_F(Protocol, AnErrorReplyIsShownAcknowledgedAndFailsTheDownload) {
  const std::string text = Narrow("서버 점검 중입니다");
  // At the list request, and at the second file.
  server.Read(ListRequestBytes(3))
      .Send(ListReply({Entry("a.bin"), Entry("b.bin"), Entry("c.bin")}))
      .Read(kFileRequestBytes)
      .Send(FileReply(1) + "a")
      .Read(kFileRequestBytes)
      .Send(ErrorReply(text + std::string(300, 'x')))  // only 256 text bytes belong to it
      .Read(kHeaderBytes)
      .Send(EndReply());
  EXPECT_TRUE(Download());
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(Texts(), std::vector<std::string>{(text + std::string(300, 'x')).substr(0, 256)});
  EXPECT_EQ(boxes.inner.Shown()[0].icon, platform::MessageBoxIcon::Error);
  EXPECT_EQ(Sent(), ListRequest() + FileRequestBytes(0, "files/a.bin") +
                        FileRequestBytes(0, "files/b.bin") + Header(5, 0, 0, 0, kUser));
  EXPECT_EQ(ReadTemp("a.bin"), "a");
  EXPECT_FALSE(TempExists("c.bin"));

  test::ScriptedServer peer;
  peer.Read(ListRequestBytes(3)).Send(ErrorReply(text, 10001)).Read(kHeaderBytes).Send(EndReply());
  peer.Start();
  CRecvThread other;
  other.SetUserId(kUser);
  other.SetFetchList(fetch.data(), fetch.size());
  ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
  EXPECT_TRUE(other.DownloadFiles());
  EXPECT_TRUE(other.Failed());
  EXPECT_TRUE(other.DownloadList().empty());
  EXPECT_EQ(peer.Received(), ListRequest() + Header(5, 0, 0, 0, kUser));
}

TEST_F(Protocol, AnAcknowledgementThatCannotBeSentFailsTheReplyLoop) {
  server.Read(ListRequestBytes(3)).Send(ErrorReply("down")).Hold();
  boxes.hook = [this](const platform::MessageBoxRequest& box) {
    if (box.text == "down") server.ResetNow();
  };
  EXPECT_FALSE(Download());
  EXPECT_TRUE(client.Failed());
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "down");
  EXPECT_EQ(texts[1], platform::DescribeTcpError(platform::LastTcpError()));
}

TEST_F(Protocol, AFileRequestThatCannotBeSentStopsTheDownload) {
  WriteTemp("a.bin", "partial");
  server.Read(ListRequestBytes(3)).Send(ListReply({Entry("a.bin"), Entry("b.bin")})).Hold();
  // The resume question comes between the list and the file request.
  boxes.hook = [this](const platform::MessageBoxRequest& box) {
    if (box.buttons == platform::MessageBoxButtons::YesNo) server.ResetNow();
  };
  EXPECT_TRUE(Download());
  EXPECT_TRUE(client.Failed());
  EXPECT_FALSE(client.HasSocket());
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1], platform::DescribeTcpError(platform::LastTcpError()));
  EXPECT_EQ(ReadTemp("a.bin"), "partial");
  EXPECT_FALSE(TempExists("b.bin"));
}

TEST_F(Protocol, BrokenRepliesToAFileFailTheDownloadAndStopIt) {
  const struct {
    const char* name;
    std::string reply;  // after the file request for a.bin; then the server closes
    std::string left;   // what a.bin holds afterwards
    std::vector<std::string> texts;
  } cases[] = {
      {"no reply", "", "", {}},
      {"size cut short",
       FileReply(10).substr(0, 30),
       "",
       {Filled(TextId::kTextBadFileSize, {"a.bin"})}},
      {"content cut short",
       FileReply(1000) + std::string(400, 'q'),
       std::string(400, 'q'),
       {platform::DescribeTcpError(platform::kTcpClosedByPeer)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3))
        .Send(ListReply({Entry("a.bin"), Entry("b.bin")}))
        .Read(kFileRequestBytes)
        .Send(c.reply)
        .Close();
    peer.Start();
    boxes.inner.Clear();
    CRecvThread other;
    other.SetPanel(&panel);
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_TRUE(other.Failed());
    EXPECT_EQ(ReadTemp("a.bin"), c.left);
    EXPECT_FALSE(TempExists("b.bin"));
    // No request after the broken one.
    EXPECT_EQ(peer.Received().size(), ListRequestBytes(3) + kFileRequestBytes);
    EXPECT_EQ(Texts(), c.texts);
    fs::remove(HostTempPath("a.bin"));
  }
}

TEST_F(Protocol, AnEndNoticeThatCannotBeSentDoesNotFailTheDownload) {
  // a.bin is complete already, so the reply brings no content; the server
  // resets the connection while the panel is being brought forward.
  WriteTemp("a.bin", "done");
  server.Read(ListRequestBytes(3))
      .Send(ListReply({Entry("a.bin")}))
      .Read(kFileRequestBytes)
      .Send(FileReply(4))
      .Hold();
  panel.SetHook([this](const test::RecordingPanel::Call& call) {
    if (call.kind == Kind::BringDialogToFront) server.ResetNow();
  });
  EXPECT_TRUE(Download());
  EXPECT_FALSE(client.Failed());
  EXPECT_EQ(ReadTemp("a.bin"), "done");
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 2u);  // the resume question, then the socket error
  EXPECT_EQ(texts[1], platform::DescribeTcpError(platform::LastTcpError()));
}

TEST_F(Protocol, AServerThatClosesInsteadOfAnsweringTheEndNoticeFailsIt) {
  server.Read(ListRequestBytes(3))
      .Send(ListReply({Entry("a.bin")}))
      .Read(kFileRequestBytes)
      .Send(FileReply(3) + "abc")
      .Read(kHeaderBytes)
      .Close();
  EXPECT_TRUE(Download());
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(ReadTemp("a.bin"), "abc");
  EXPECT_TRUE(Texts().empty());
}

// ---------------------------------------------------------------- hostile servers

TEST_F(Protocol, NamesThatAreNotPlainFileNamesAreNeverWritten) {
  const std::string names[] = {
      "",
      ".",
      "..",
      "..\\evil.exe",
      "sub\\a.bin",
      "../a.bin",
      "/tmp/a.bin",
      "C:a.bin",
      "C:\\Windows\\a.dll",
      std::string("a\x01.bin"),
      std::string("a\nb"),
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3))
        .Send(ListReply({Entry("a.bin"), Entry(name), Entry("c.bin")}))
        .Close();
    peer.Start();
    boxes.inner.Clear();
    CRecvThread other;
    other.SetPanel(&panel);
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_TRUE(other.Failed());
    EXPECT_TRUE(other.DownloadList().empty());
    EXPECT_EQ(Texts(), std::vector<std::string>{Filled(TextId::kTextBadFileName, {name})});
    EXPECT_EQ(peer.Received().size(), ListRequestBytes(3));  // no file asked for
    EXPECT_TRUE(InstallTree().empty());
  }
}

TEST_F(Protocol, RepliesTooLargeToReadAreRefusedUnread) {
  const struct {
    std::int32_t count;
    std::int32_t itemSize;
  } cases[] = {
      {0x7FFFFFFF, 0x7FFFFFFF},  // overflows 32 bits
      {-0x7FFFFFFF - 1, -1},     // 2^31 from two negatives
      {65536, 65536},            // wraps to 0 in 32 bits
      {1, (8 << 20) + 1},        // just over the limit
      {6494, 1292},              // a list just over the limit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " x " + std::to_string(c.itemSize));
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3)).Send(Header(10001, c.count, c.itemSize)).Close();
    peer.Start();
    boxes.inner.Clear();
    CRecvThread other;
    other.SetPanel(&panel);
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_FALSE(other.DownloadFiles());
    EXPECT_TRUE(other.Failed());
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           Filled(TextId::kTextReplyTooLarge,
                                  {std::to_string(c.count), std::to_string(c.itemSize)})});
  }
}

TEST_F(Protocol, AListWhoseEntriesDoNotFitItsBodyIsRefused) {
  const std::string replies[] = {
      Header(10001, 2, 100) + std::string(200, 'e'),  // item size below 1292
      Header(10001, 2, 1292) + Entry("a.bin"),        // cut short by a close
      Header(10001, 1, 0),                            // entries but no body
  };
  for (const std::string& reply : replies) {
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3)).Send(reply).Close();
    peer.Start();
    boxes.inner.Clear();
    CRecvThread other;
    other.SetPanel(&panel);
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_TRUE(other.Failed());
    EXPECT_TRUE(other.DownloadList().empty());
    EXPECT_EQ(Texts(), std::vector<std::string>{Text(TextId::kTextBadDownloadList)});
  }
}

TEST_F(Protocol, ImpossibleFileSizesFailThatFile) {
  const std::string replies[] = {
      FileReply(-1),
      FileReply(std::numeric_limits<double>::quiet_NaN()),
      FileReply(std::numeric_limits<double>::infinity()),
      FileReply(9007199254740994.0),  // 2^53 + 2
      FileReply(100.5),
      Header(1000, 1, 4) + "abcd",  // a body under 8 bytes
      Header(1000, 0, 0),           // no body at all
  };
  for (const std::string& reply : replies) {
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3))
        .Send(ListReply({Entry("a.bin"), Entry("b.bin")}))
        .Read(kFileRequestBytes)
        .Send(reply + std::string(64, 'c'))
        .Close();
    peer.Start();
    boxes.inner.Clear();
    CRecvThread other;
    other.SetPanel(&panel);
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_TRUE(other.Failed());
    EXPECT_EQ(Texts(), std::vector<std::string>{Filled(TextId::kTextBadFileSize, {"a.bin"})});
    EXPECT_EQ(ReadTemp("a.bin"), "");
    EXPECT_EQ(peer.Received().size(), ListRequestBytes(3) + kFileRequestBytes);
  }
}

TEST_F(Protocol, UnterminatedFieldsAreReadOnlyWithinThemselves) {
  // A directory of 256 bytes goes into the request path as it is, and the
  // name after it is not taken into it; a name of 256 bytes does not run
  // into the reserved bytes behind it (it is too long for the disk, so it
  // fails when the file is created).
  const std::string directory(256, 'd');
  const std::string longName(256, 'n');
  server.Read(ListRequestBytes(3))
      .Send(ListReply({Entry("a.bin", directory), Entry(longName)}))
      .Read(kFileRequestBytes)
      .Send(FileReply(1) + "a")
      .Close();
  EXPECT_TRUE(Download());
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(FieldText(client.DownloadList()[1].szName), longName);
  EXPECT_EQ(Sent(), ListRequest() + FileRequestBytes(0, directory + "/a.bin"));
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 1u);
  // The text starts with the path, and the name in it ends where its field does.
  EXPECT_EQ(texts[0].rfind(TempPath(longName) + " ", 0), 0u);
}

TEST_F(Protocol, UnexpectedRepliesFailTheDownload) {
  const struct {
    const char* name;
    std::string afterList;  // what the server sends after the list request
    bool fileRequested;
    std::int32_t command;
  } cases[] = {
      {"unknown command instead of the list", Header(99, 0, 0), false, 99},
      {"file content instead of the list", FileReply(3) + "abc", false, 1000},
      {"unknown command for a file", ListReply({Entry("a.bin"), Entry("b.bin")}), true, 99},
      {"a second list for a file", ListReply({Entry("a.bin"), Entry("b.bin")}), true, 10001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3)).Send(c.afterList);
    if (c.fileRequested)
      peer.Read(kFileRequestBytes)
          .Send(c.command == 99 ? Header(99, 0, 0) : ListReply({Entry("z.bin")}));
    peer.Close();
    peer.Start();
    boxes.inner.Clear();
    CRecvThread other;
    other.SetPanel(&panel);
    other.SetFetchList(fetch.data(), fetch.size());
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_TRUE(other.Failed());
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           Filled(TextId::kTextUnexpectedReply, {std::to_string(c.command)})});
    EXPECT_EQ(peer.Received().size(),
              ListRequestBytes(3) + (c.fileRequested ? kFileRequestBytes : 0));
    EXPECT_LE(other.DownloadList().size(), 2u);
    EXPECT_FALSE(TempExists("b.bin"));
    EXPECT_FALSE(TempExists("z.bin"));
  }
}

TEST_F(Protocol, AStalledServerFailsWithinTheStallLimit) {
  // Silent after the file request, or in the middle of the content: the
  // shares received whole are kept, the one cut off by the stall is not.
  const struct {
    std::string reply;
    std::string left;
    bool socketErrorShown;
  } cases[] = {
      {"", "", false},
      {FileReply(40000) + std::string(32768 + 100, 's'), std::string(32768, 's'), true},
  };
  for (const auto& c : cases) {
    test::ScriptedServer peer;
    peer.Read(ListRequestBytes(3))
        .Send(ListReply({Entry("a.bin"), Entry("b.bin")}))
        .Read(kFileRequestBytes)
        .Send(c.reply);  // then reads until the client gives up and closes
    peer.Start();
    boxes.inner.Clear();
    CRecvThread other;
    other.SetPanel(&panel);
    other.SetFetchList(fetch.data(), fetch.size());
    other.SetStallLimit(std::chrono::milliseconds(300));
    ASSERT_TRUE(other.ConnectServer("127.0.0.1", peer.port()));
    EXPECT_TRUE(other.DownloadFiles());
    EXPECT_TRUE(other.Failed());
    EXPECT_EQ(ReadTemp("a.bin"), c.left);
    EXPECT_EQ(peer.Received().size(), ListRequestBytes(3) + kFileRequestBytes);
    if (c.socketErrorShown)
      EXPECT_EQ(Texts(), std::vector<std::string>{"Connection timed out"});
    else
      EXPECT_TRUE(Texts().empty());
    fs::remove(HostTempPath("a.bin"));
  }
}

TEST_F(Protocol, AFileReplyWithoutAnOpenFileGoesNowhere) {
  // Called directly, as a reply that arrives when no file was asked for.
  client.SetPanel(&panel);
  const std::string body = LeDouble(10);
  EXPECT_EQ(client.HandleReply(DecodePacketHeader(FileReply(10).data()), body), -1);
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(Texts(), std::vector<std::string>{Filled(TextId::kTextUnexpectedReply, {"1000"})});
}

}  // namespace
}  // namespace hovane
