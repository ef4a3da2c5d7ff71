// Fuzzes the download client with whatever a file server may send. The input
// is one download: its first byte chooses the answer to a resume question
// (bit 0) and whether a partial a.bin exists beforehand (bit 1); the rest is
// the server's whole byte stream, handed over a real connection on 127.0.0.1
// to CRecvThread::DownloadFiles with the fetch list {a.bin, b.bin}.
//
// Beyond the sanitizers' checks, every run asserts that the client wrote
// nothing outside the temp folder and no folder inside it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/locations.h"
#include "control/settings.h"
#include "platform/files/files.h"
#include "platform/msgbox/message_box.h"
#include "platform/prefix/prefix.h"
#include "transfer/progress_panel.h"
#include "fixtures/quiet_panel.h"
#include "transfer/recv_thread.h"

namespace {

namespace fs = std::filesystem;

struct Harness {
  fs::path prefix;
  fs::path tempFolder;  // host path of the temp folder
  int listener = -1;
  std::uint16_t port = 0;
  hovane::platform::ScriptedMessageBoxes boxes;
  hovane::test::QuietPanel panel{1};
  std::vector<hovane::FetchRecord> fetch;
};

Harness* g_harness = nullptr;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_harness = new Harness;
  Harness& h = *g_harness;
  char pattern[] = "/tmp/hovane-fuzz-XXXXXX";
  Check(::mkdtemp(pattern) != nullptr, "temporary prefix");
  h.prefix = pattern;
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(g_harness->prefix, ec);
  });
  hovane::platform::SetPrefixRoot(h.prefix.string());
  Check(hovane::platform::EnsurePrefixLayout(), "prefix layout");
  hovane::CreateDirectoryTree(hovane::GetTempFolder());
  h.tempFolder = hovane::platform::ToHostPath(hovane::GetTempFolder()).value();
  hovane::platform::SetMessageBoxService(&h.boxes);

  h.fetch.assign(2, hovane::FetchRecord{});
  h.fetch[0].nCount = 2;
  std::strcpy(h.fetch[0].szName, "a.bin");
  std::strcpy(h.fetch[1].szName, "b.bin");

  h.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof local;
  Check(h.listener >= 0 &&
            ::bind(h.listener, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            ::listen(h.listener, 4) == 0 &&
            ::getsockname(h.listener, reinterpret_cast<sockaddr*>(&local), &size) == 0,
        "loopback listener");
  h.port = ntohs(local.sin_port);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Harness& h = *g_harness;
  const std::uint8_t flags = data[0];

  std::error_code ec;
  for (const auto& item : fs::directory_iterator(h.tempFolder, ec)) fs::remove_all(item.path(), ec);
  if (flags & 2) {
    const int partial =
        ::open((h.tempFolder / "a.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    [[maybe_unused]] const ssize_t written = ::write(partial, "partial", 7);
    ::close(partial);
  }
  h.boxes.Clear();
  h.boxes.SetDefaultAnswer((flags & 1) ? hovane::platform::MessageBoxResult::Yes
                                       : hovane::platform::MessageBoxResult::No);

  hovane::CRecvThread client;
  client.SetPanel(&h.panel);
  client.SetUserId("fuzz");
  client.SetFetchList(h.fetch.data(), h.fetch.size());
  client.SetStallLimit(std::chrono::seconds(5));
  Check(client.ConnectServer("127.0.0.1", h.port), "connect");
  const int server = ::accept4(h.listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  Check(server >= 0, "accept");
  // The whole stream goes into the socket buffers before the client reads;
  // inputs are kept small enough (-max_len) for it to fit, and anything that
  // does not is cut off, like a server that closes early.
  for (std::size_t sent = 1; sent < size;) {
    const ssize_t count = ::send(server, data + sent, size - sent, MSG_NOSIGNAL);
    if (count <= 0) break;
    sent += static_cast<std::size_t>(count);
  }
  ::shutdown(server, SHUT_WR);
  client.DownloadFiles();
  client.CloseConnection();
  ::close(server);

  // Whatever arrived, files appear only directly in the temp folder.
  for (const auto& item : fs::recursive_directory_iterator(h.prefix, ec)) {
    if (!item.is_regular_file()) continue;
    if (item.path().parent_path().filename() == "registry") continue;
    Check(item.path().parent_path() == h.tempFolder, "a file outside the temp folder");
  }
  for (const auto& item : fs::directory_iterator(h.tempFolder, ec))
    Check(!item.is_directory(), "a folder inside the temp folder");
  return 0;
}
