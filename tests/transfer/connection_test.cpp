// The file-server connection over real sockets on 127.0.0.1: connecting
// within the time limit, exact sends and receives, socket errors and their
// texts.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fixtures/recording_panel.h"
#include "platform/msgbox/message_box.h"
#include "platform/tcp/tcp.h"
#include "resources/texts.h"
#include "transfer/loopback_socket.h"
#include "transfer/recv_thread.h"
#include "transfer/scripted_server.h"

namespace hovane {
namespace {

using Clock = std::chrono::steady_clock;

using test::LoopbackSocket;

class Connection : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::SetMessageBoxService(&boxes);
    client.SetPanel(&panel);
  }
  void TearDown() override { platform::SetMessageBoxService(previous_); }

  bool ConnectToServer() {
    server.Start();
    return client.ConnectServer("127.0.0.1", server.port());
  }

  platform::ScriptedMessageBoxes boxes;
  test::RecordingPanel panel;
  test::ScriptedServer server;
  CRecvThread client;

 private:
  platform::MessageBoxService* previous_ = nullptr;
};

TEST_F(Connection, BadSettingsFailAtOnceWithoutASocket) {
  LoopbackSocket listener(8);
  const struct {
    std::string address;
    int port;
  } cases[] = {
      {"", listener.port},
      {"127.0.0.1", -1},
      {"127.0.0.1", 65536},
      {"127.0.0.1" + std::string(91, ' '), listener.port},  // 100 bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address + ":" + std::to_string(c.port));
    EXPECT_FALSE(client.ConnectServer(c.address, c.port));
    EXPECT_FALSE(client.HasSocket());
  }
  EXPECT_FALSE(listener.HasPendingConnection());
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Connection, NamesAreNeverLookedUp) {
  // "localhost" would reach the listener if it were resolved.
  LoopbackSocket listener(8);
  for (const char* address : {"localhost", "file.server.invalid", "127.0.0.1.5"}) {
    SCOPED_TRACE(address);
    EXPECT_FALSE(client.ConnectServer(address, listener.port));
    EXPECT_EQ(platform::LastTcpError(), platform::kTcpBadAddress);
    // The socket made for the attempt stays until the connection is closed.
    EXPECT_TRUE(client.HasSocket());
    client.CloseConnection();
    EXPECT_FALSE(client.HasSocket());
  }
  EXPECT_FALSE(listener.HasPendingConnection());
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Connection, ARefusedPortFailsWithoutAMessage) {
  const LoopbackSocket bound;  // bound, not listening: connects are refused
  EXPECT_FALSE(client.ConnectServer("127.0.0.1", bound.port));
  // Refused, not timed out: Linux reports the refusal when it arrives.
  EXPECT_EQ(platform::LastTcpError(), ECONNREFUSED);
  EXPECT_TRUE(boxes.Shown().empty());

  client.ShowSocketError();
  const auto shown = boxes.Shown();
  ASSERT_EQ(shown.size(), 1u);
  const auto& box = shown[0];
  EXPECT_EQ(box.text, "Connection refused");
  EXPECT_EQ(box.caption, Text(TextId::kTextNotice));
  EXPECT_EQ(box.icon, platform::MessageBoxIcon::Error);
  EXPECT_EQ(box.buttons, platform::MessageBoxButtons::Ok);
  EXPECT_EQ(box.owner, test::RecordingPanel::kOwner);
}

// A connect to a free port of this machine can take that very port as its
// own and meet itself. In a network namespace of its own whose ephemeral
// range is that one port, every such connect does; it must fail as refused.
TEST_F(Connection, AConnectThatMeetsItselfIsRefused) {
  constexpr std::uint16_t kOnlyPort = 40123;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNET) != 0) ::_exit(77);
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq loopback{};
    std::strcpy(loopback.ifr_name, "lo");
    loopback.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    if (::ioctl(control, SIOCSIFFLAGS, &loopback) != 0) ::_exit(77);
    FILE* range = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "w");
    if (range == nullptr || std::fprintf(range, "%u %u", kOnlyPort, kOnlyPort) < 0 ||
        std::fclose(range) != 0)
      ::_exit(77);
    CRecvThread alone;
    const bool connected = alone.ConnectServer("127.0.0.1", kOnlyPort);
    ::_exit(!connected && platform::LastTcpError() == ECONNREFUSED ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no network namespace of its own here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Connection, ASilentPeerTimesOutAfterTheWait) {
  // A listener whose accept queue is full drops further SYNs, so the
  // connect neither completes nor fails: the wait alone ends it.
  const test::SilentListener listener;

  const auto start = Clock::now();
  EXPECT_FALSE(client.ConnectServer("127.0.0.1", listener.port()));
  const auto waited = Clock::now() - start;
  EXPECT_EQ(platform::LastTcpError(), ETIMEDOUT);
  EXPECT_GE(waited, kConnectWait);
  EXPECT_LT(waited, std::chrono::seconds(60));
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Connection, SendsAndReceivesExactCounts) {
  std::string big(300000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  server.Read(big.size()).Send("0123456789").Close();
  ASSERT_TRUE(ConnectToServer());

  EXPECT_EQ(client.SendData(big.data(), static_cast<int>(big.size())),
            static_cast<int>(big.size()));
  EXPECT_EQ(client.SendData(big.data(), 0), 0);

  // Asking for more than arrives gives the count that came before the close,
  // with the rest of the buffer zero.
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(client.ReceiveData(buffer, 16), 10);
  EXPECT_EQ(std::string(buffer, 16), std::string("0123456789\0\0\0\0\0\0", 16));
  EXPECT_EQ(client.ReceiveData(buffer, 16), 0);

  client.CloseConnection();
  EXPECT_EQ(server.Received(), big);
}

TEST_F(Connection, ReceiveFileDataAsksForTheRemainderOrTheBuffer) {
  const struct {
    double remaining;
    int bufferSize;
    int expected;
  } cases[] = {
      {100.0, kFileShareSize, 100},           {100.9, kFileShareSize, 100},
      {32767.0, kFileShareSize, 32767},       {32768.0, kFileShareSize, kFileShareSize},
      {1e12, kFileShareSize, kFileShareSize}, {5000.0, 1000, 1000},  // never past a smaller buffer
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remaining);
    test::ScriptedServer peer;
    std::string stream(static_cast<std::size_t>(c.expected) + 10, '\0');
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<char>('a' + i % 26);
    peer.Send(stream).Close();
    peer.Start();
    CRecvThread reader;
    ASSERT_TRUE(reader.ConnectServer("127.0.0.1", peer.port()));

    std::vector<char> buffer(static_cast<std::size_t>(c.bufferSize));
    ASSERT_EQ(reader.ReceiveFileData(buffer.data(), c.bufferSize, c.remaining), c.expected);
    EXPECT_EQ(std::string(buffer.data(), static_cast<std::size_t>(c.expected)),
              stream.substr(0, static_cast<std::size_t>(c.expected)));
    // Nothing beyond the count was taken from the stream.
    char rest[10];
    EXPECT_EQ(reader.ReceiveData(rest, 10), 10);
    EXPECT_EQ(std::string(rest, 10), stream.substr(static_cast<std::size_t>(c.expected)));
  }
}

TEST_F(Connection, WithoutAConnectionEveryTransferFailsAtOnce) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(client.SendData("abc", 3), -1);
  EXPECT_EQ(client.ReceiveData(buffer, 8), -1);
  EXPECT_EQ(std::string(buffer, 8), std::string(8, '\0'));
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(client.ReceiveFileData(buffer, 8, 100.0), -1);
  EXPECT_EQ(std::string(buffer, 8), std::string(8, '\0'));

  server.Close();
  ASSERT_TRUE(ConnectToServer());
  client.CloseConnection();
  client.CloseConnection();
  EXPECT_FALSE(client.HasSocket());
  EXPECT_EQ(client.SendData("abc", 3), -1);
}

TEST_F(Connection, AStalledPeerFailsTheReceiveAsASocketError) {
  client.SetStallLimit(std::chrono::milliseconds(300));
  ASSERT_TRUE(ConnectToServer());  // the server sends nothing and waits for the close
  char buffer[28];
  EXPECT_EQ(client.ReceiveData(buffer, 28), -1);
  EXPECT_EQ(platform::LastTcpError(), ETIMEDOUT);
  client.ShowSocketError();
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "Connection timed out");
}

TEST_F(Connection, SendingToAResetPeerIsAnErrorNotASignal) {
  server.Hold();
  ASSERT_TRUE(ConnectToServer());
  server.ResetNow();
  // The first send after the reset may still be taken; a later one fails.
  // Without MSG_NOSIGNAL the process would end on SIGPIPE here.
  const std::string bytes(1000, 'z');
  int result = 0;
  for (int i = 0; i < 3 && result >= 0; ++i)
    result = client.SendData(bytes.data(), static_cast<int>(bytes.size()));
  EXPECT_EQ(result, -1);
  const int error = platform::LastTcpError();
  EXPECT_TRUE(error == ECONNRESET || error == EPIPE) << error;
}

TEST_F(Connection, ACloseBeforeAnyByteIsShownAsSuch) {
  server.Close();
  ASSERT_TRUE(ConnectToServer());
  char buffer[28];
  EXPECT_EQ(client.ReceiveData(buffer, 28), 0);
  client.ShowSocketError();
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, platform::DescribeTcpError(platform::kTcpClosedByPeer));
}

}  // namespace
}  // namespace hovane
