// Download throughput: a 1 GiB file over loopback from the reference file
// server to disk through CRecvThread::DownloadFiles, against a raw reference
// measured in the same run (the same server's bytes read with plain 32 KiB
// reads and written to disk, no protocol), and, when curl is installed, curl
// fetching the same file over HTTP from a minimal static server. Prints MiB/s
// and the ratios to the reference (target: DownloadFiles at 0.9 or more), and
// the client's peak memory for a 64 MiB and the 1 GiB file (target: the same,
// under 20 MiB). Every transfer runs in a child process of its own, so that
// both sides run alike and a peak is the measured side's alone.
//
// The files live in a fresh folder under /tmp, created at run time and
// removed at the end.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/locations.h"
#include "control/settings.h"
#include "platform/files/files.h"
#include "platform/msgbox/message_box.h"
#include "platform/prefix/prefix.h"
#include "transfer/progress_panel.h"
#include "fixtures/quiet_panel.h"
#include "transfer/recv_thread.h"
#include "transfer/wire_records.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMiB = 1 << 20;
constexpr std::uint64_t kBigSize = 1024 * kMiB;
constexpr std::uint64_t kSmallSize = 64 * kMiB;

// What the main process must undo when it ends early.
pid_t g_mainPid = 0;
pid_t g_serverPid = 0;
fs::path g_work;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "transfer_download_bench: %s: %s\n", what.c_str(), std::strerror(errno));
  if (::getpid() != g_mainPid) ::_exit(1);  // a measuring child leaves the cleanup to main
  if (g_serverPid > 0) {
    ::kill(g_serverPid, SIGTERM);
    ::waitpid(g_serverPid, nullptr, 0);
  }
  std::error_code ec;
  if (!g_work.empty()) fs::remove_all(g_work, ec);
  std::exit(1);
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void WritePayload(const fs::path& path, std::uint64_t size) {
  std::vector<char> block(kMiB);
  std::uint32_t state = 12345;
  for (char& byte : block) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Die("create " + path.string());
  for (std::uint64_t done = 0; done < size; done += kMiB) {
    block[0] = static_cast<char>(done / kMiB);  // no two blocks alike
    if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()))
      Die("write " + path.string());
  }
  ::close(fd);
}

// The reference server as a child process; its port from its first line.
struct FileServer {
  pid_t pid = -1;
  std::uint16_t port = 0;

  explicit FileServer(const fs::path& folder) {
    int out[2];
    if (::pipe(out) < 0) Die("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string program = HOVANE_FILESERVER, flag = "--folder", where = folder.string();
    char* argv[] = {program.data(), flag.data(), where.data(), nullptr};
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0)
      Die("start " + program);
    g_serverPid = pid;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1) line += c;
    ::close(out[0]);
    const std::size_t colon = line.rfind(':');
    if (colon == std::string::npos) Die("file server did not start");
    port = static_cast<std::uint16_t>(std::atoi(line.c_str() + colon + 1));
  }
  ~FileServer() {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    g_serverPid = 0;
  }
};

int ConnectLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) < 0) Die("connect");
  return fd;
}

bool ReadAll(int fd, char* buffer, std::size_t size) {
  for (std::size_t have = 0; have < size;) {
    const ssize_t got = ::recv(fd, buffer + have, size - have, 0);
    if (got <= 0) return false;
    have += static_cast<std::size_t>(got);
  }
  return true;
}

// The reference: one file request, then the content with plain 32 KiB reads
// straight to disk. MiB/s.
double RawReference(std::uint16_t port, const fs::path& output) {
  const auto start = Clock::now();
  const int fd = ConnectLoopback(port);
  hovane::PacketHeader header;
  header.nCommand = hovane::CMD_FILE;
  header.nCount = 1;
  header.nItemSize = static_cast<std::int32_t>(hovane::kFileRequestSize);
  hovane::FileRequest request;
  hovane::SetFieldText(request.szPath, "./payload.bin");
  std::string message;
  for (const auto& part : {std::string(hovane::Encode(header).data(), hovane::kPacketHeaderSize),
                           std::string(hovane::Encode(request).data(), hovane::kFileRequestSize)})
    message += part;
  if (::send(fd, message.data(), message.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(message.size()))
    Die("send");
  char reply[hovane::kPacketHeaderSize + 8];
  if (!ReadAll(fd, reply, sizeof reply)) Die("reply");
  auto left =
      static_cast<std::uint64_t>(hovane::wire::GetDouble(reply + hovane::kPacketHeaderSize));
  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::vector<char> buffer(32768);
  while (left > 0) {
    const ssize_t got = ::recv(fd, buffer.data(), std::min<std::uint64_t>(buffer.size(), left), 0);
    if (got <= 0) Die("content");
    if (::write(out, buffer.data(), static_cast<std::size_t>(got)) != got) Die("write");
    left -= static_cast<std::uint64_t>(got);
  }
  ::close(out);
  ::close(fd);
  const double seconds = Seconds(start);
  if (fs::file_size(output) != kBigSize) Die("raw copy incomplete");
  fs::remove(output);
  return static_cast<double>(kBigSize) / kMiB / seconds;
}

long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

struct Run {
  double mibPerSecond = 0;  // 0 when the transfer failed
  double peakMiB = 0;
};

// Runs one measurement in a child process of its own, so that both sides
// run under the same conditions and the peak memory is the measured side's
// alone.
template <typename Measure>
Run InChild(Measure measure) {
  int result[2];
  if (::pipe(result) < 0) Die("pipe");
  const pid_t child = ::fork();
  if (child < 0) Die("fork");
  if (child == 0) {
    Run run{measure(), 0};
    run.peakMiB = PeakKiB() / 1024.0;
    [[maybe_unused]] const ssize_t written = ::write(result[1], &run, sizeof run);
    ::_exit(run.mibPerSecond > 0 ? 0 : 1);
  }
  ::close(result[1]);
  Run run;
  const bool got = ::read(result[0], &run, sizeof run) == static_cast<ssize_t>(sizeof run);
  ::close(result[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("a transfer failed");
  return run;
}

// DownloadFiles of one served file into the prefix's temp folder. MiB/s.
double Download(std::uint16_t port, const fs::path& prefix, const std::string& name,
                std::uint64_t size) {
  hovane::platform::SetPrefixRoot(prefix.string());
  hovane::platform::EnsurePrefixLayout();
  hovane::platform::ScriptedMessageBoxes boxes;
  hovane::platform::SetMessageBoxService(&boxes);
  std::vector<hovane::FetchRecord> fetch(1, hovane::FetchRecord{});
  fetch[0].nCount = 1;
  std::strncpy(fetch[0].szName, name.c_str(), hovane::kFetchNameSize - 1);
  hovane::test::QuietPanel panel;
  hovane::CRecvThread client;
  client.SetPanel(&panel);
  client.SetFetchList(fetch.data(), fetch.size());
  const auto start = Clock::now();
  bool ok = client.ConnectServer("127.0.0.1", port) && client.DownloadFiles() && !client.Failed();
  const double seconds = Seconds(start);
  const std::string local = hovane::GetTempFolder() + "\\" + name;
  const auto status = hovane::platform::GetFileStatus(local);
  ok = ok && status && status->size == size;
  hovane::platform::DeleteFile(local);
  return ok ? static_cast<double>(size) / kMiB / seconds : 0;
}

bool CurlInstalled() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    if (::access((dirs.substr(start, end - start) + "/curl").c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// curl fetching the file from a one-shot static HTTP server on 127.0.0.1
// that answers with sendfile. MiB/s.
double CurlOverHttp(const fs::path& payload, const fs::path& output) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof local;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0 ||
      ::listen(listener, 4) < 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length) < 0)
    Die("http listener");
  std::thread server([&] {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) return;
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kBigSize) +
        "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
    ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
    const int file = ::open(payload.c_str(), O_RDONLY | O_CLOEXEC);
    off_t offset = 0;
    while (offset < static_cast<off_t>(kBigSize))
      if (::sendfile(fd, file, &offset, kBigSize - static_cast<std::uint64_t>(offset)) <= 0) break;
    ::close(file);
    ::close(fd);
  });

  const std::string url =
      "http://127.0.0.1:" + std::to_string(ntohs(local.sin_port)) + "/payload.bin";
  std::string program = "curl", quiet = "-s", outFlag = "-o", out = output.string(), target = url;
  char* argv[] = {program.data(), quiet.data(), outFlag.data(), out.data(), target.data(), nullptr};
  const auto start = Clock::now();
  pid_t pid = -1;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv, environ) != 0) Die("curl");
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double seconds = Seconds(start);
  server.join();
  ::close(listener);
  const bool complete = fs::exists(output) && fs::file_size(output) == kBigSize;
  fs::remove(output);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !complete) return 0;
  return static_cast<double>(kBigSize) / kMiB / seconds;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/hovane-transfer-bench-XXXXXX";
  if (!::mkdtemp(pattern)) Die("mkdtemp");
  g_mainPid = ::getpid();
  const fs::path work = pattern;
  g_work = work;
  const fs::path served = work / "served";
  fs::create_directories(served);
  std::printf("writing the 1 GiB file in %s ...\n", work.c_str());
  std::fflush(stdout);
  WritePayload(served / "payload.bin", kBigSize);
  WritePayload(served / "small.bin", kSmallSize);

  double raw = 0, client = 0, curl = 0;
  Run small, big;
  {
    FileServer server(served);
    const fs::path prefix = work / "prefix";
    small = InChild([&] { return Download(server.port, prefix, "small.bin", kSmallSize); });
    // Best of five, in the order ABBA ABBA AB, each from a clean page cache
    // (sync), so that neither side pays for the other's dirty pages or for a
    // busy moment of the machine.
    for (int round = 0; round < 10; ++round) {
      ::sync();
      if (round % 4 == 0 || round % 4 == 3) {
        raw = std::max(
            raw, InChild([&] { return RawReference(server.port, work / "raw.bin"); }).mibPerSecond);
      } else {
        const Run run =
            InChild([&] { return Download(server.port, prefix, "payload.bin", kBigSize); });
        client = std::max(client, run.mibPerSecond);
        big.peakMiB = std::max(big.peakMiB, run.peakMiB);
      }
    }
  }
  const bool haveCurl = CurlInstalled();
  if (haveCurl) curl = CurlOverHttp(served / "payload.bin", work / "curl.bin");
  fs::remove_all(work);

  std::printf("1 GiB over loopback to disk (best of 5):\n");
  std::printf("  raw reference (32 KiB reads)  %8.1f MiB/s\n", raw);
  std::printf("  DownloadFiles                 %8.1f MiB/s   ratio %.2f (target >= 0.90)\n", client,
              client / raw);
  if (haveCurl)
    std::printf("  curl over HTTP                %8.1f MiB/s   ratio %.2f\n", curl, curl / raw);
  else
    std::printf("  curl over HTTP                not installed\n");
  std::printf("client peak memory: %.1f MiB for 64 MiB, %.1f MiB for 1 GiB (target < 20, equal)\n",
              small.peakMiB, big.peakMiB);
  return 0;
}
