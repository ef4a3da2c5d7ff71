// hovane-fileserver: a reference file server for the download protocol.
// Serves the files of one folder to many clients at once, and injects faults
// on request for tests and demos.
//
// One thread runs an epoll loop over non-blocking sockets. The server is a
// program outside the system, so it uses POSIX directly: the platform's TCP
// service offers only what the client needs (one blocking connection), and a
// server needs readiness polling over many sockets. Memory per connection is
// bounded: at most one request is buffered, a list reply holds at most
// kMaxNames entries, and file content passes through one 64 KiB chunk.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage/codepage.h"
#include "transfer/wire_records.h"

namespace {

namespace fs = std::filesystem;
using hovane::PacketHeader;

constexpr std::int32_t kMaxNames = 1024;       // names in one list request
constexpr std::size_t kChunkSize = 64 * 1024;  // file content per read
constexpr std::int32_t kUnknownCommand = 99;   // what the "unknown" fault sends
constexpr char kServedDirectory[] = ".";       // szDirectory of every entry

const char kUsage[] =
    "usage: hovane-fileserver --folder DIR [--bind ADDRESS] [--port PORT]\n"
    "                         [--fault FAULT]... [--error-text TEXT]\n"
    "\n"
    "Serves the files of DIR over the HoVane download protocol.\n"
    "\n"
    "  --folder DIR       the folder to serve (required)\n"
    "  --bind ADDRESS     the IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port PORT        the port; 0 picks a free one (default 0)\n"
    "  --error-text TEXT  the text of injected error replies (default \"injected error\")\n"
    "  --fault FAULT      a fault to inject on every connection; may be repeated.\n"
    "                     WHERE is \"list\" (the list request) or K, the K-th file\n"
    "                     request of the connection (1 = the first):\n"
    "       error:WHERE     answer with an error reply carrying the error text\n"
    "       nodata:WHERE    answer with CMD_NODATA (7)\n"
    "       unknown:WHERE   answer with the unknown command code 99\n"
    "       stall:WHERE     never answer; keep the connection open until the client closes it\n"
    "       close:N         close the connection once it has carried N bytes of file\n"
    "                       content (counted over all files of the connection)\n"
    "\n"
    "Protocol. A list request is answered with one 1292-byte entry per requested\n"
    "name that is a file directly in DIR (directory \".\", the name as requested);\n"
    "a list request may name at most 1024 files.\n"
    "A file request is answered with the file's size (a double) and its content\n"
    "from the requested offset; a path outside DIR, a missing file or a bad offset\n"
    "gets an error reply with a readable text. Every CMD_END from the client (end\n"
    "notice or error acknowledgement) is answered with CMD_END; any other command\n"
    "gets an error reply. Names and paths are in the system code page\n"
    "(HOVANE_CODEPAGE, default 949) and are converted to UTF-8 on disk.\n"
    "\n"
    "Prints \"listening on ADDRESS:PORT\" on stdout once ready, one line per\n"
    "request on stderr, and stops on SIGINT or SIGTERM.\n";

enum class FaultKind { Error, NoData, Unknown, Stall };

struct Faults {
  // Keyed by the request they answer: 0 for the list request, K for file K.
  std::map<int, FaultKind> at;
  std::optional<std::uint64_t> closeAfterContent;
  std::string errorText = "injected error";
};

struct Connection {
  int fd = -1;
  std::string peer;
  std::vector<char> in;  // the request being read
  std::size_t need = hovane::kPacketHeaderSize;
  std::string out;  // reply bytes not yet sent
  std::size_t outSent = 0;
  int file = -1;  // content being streamed
  std::uint64_t fileOffset = 0;
  std::uint64_t fileLeft = 0;
  std::vector<char> chunk;
  std::size_t chunkSent = 0;
  int fileRequests = 0;
  std::uint64_t contentSent = 0;
  bool stalled = false;
  bool closeWhenSent = false;
  std::uint32_t events = 0;  // what epoll watches now

  ~Connection() {
    if (file >= 0) ::close(file);
    if (fd >= 0) ::close(fd);
  }
  bool Busy() const { return outSent < out.size() || file >= 0; }
};

class Server {
 public:
  Server(fs::path root, Faults faults) : root_(std::move(root)), faults_(std::move(faults)) {}

  bool Listen(const std::string& address, int port);
  int Run();
  int port() const { return port_; }

 private:
  void Accept();
  void OnReadable(Connection& c);
  void OnWritable(Connection& c);
  void Handle(Connection& c);
  void HandleList(Connection& c, const PacketHeader& header);
  void HandleFile(Connection& c, const PacketHeader& header);
  bool Inject(Connection& c, int where, std::int32_t command);
  void Reply(Connection& c, std::int32_t command, std::int32_t count, std::int32_t itemSize,
             std::string_view body = {});
  // Logs the reply unless log is false (an injected fault logs itself).
  void ErrorReply(Connection& c, std::int32_t command, const std::string& text, bool log = true);
  void Watch(Connection& c);
  void Drop(int fd);
  std::optional<fs::path> Resolve(const std::string& narrowPath, std::string* why) const;

  fs::path root_;
  Faults faults_;
  int listener_ = -1;
  int epoll_ = -1;
  int signals_ = -1;
  int reserve_ = -1;  // a spare descriptor, given up to refuse a client when none are left
  int port_ = 0;
  std::map<int, std::unique_ptr<Connection>> connections_;
};

void Log(const Connection& c, const std::string& line) {
  std::cerr << c.peer << " " << line << "\n";
}

std::string Printable(std::string_view narrow) {
  if (auto utf8 = hovane::platform::NarrowToUtf8(narrow)) return *utf8;
  std::string shown;
  for (char ch : narrow) shown += (static_cast<unsigned char>(ch) < 0x80) ? ch : '?';
  return shown;
}

bool Server::Listen(const std::string& address, int port) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  const int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) return false;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) return false;
  if (::listen(listener_, SOMAXCONN) < 0) return false;
  socklen_t size = sizeof local;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &size);
  port_ = ntohs(local.sin_port);

  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &stop, nullptr);
  signals_ = ::signalfd(-1, &stop, SFD_NONBLOCK | SFD_CLOEXEC);
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  reserve_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (signals_ < 0 || epoll_ < 0) return false;
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = listener_;
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &event);
  event.data.fd = signals_;
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, signals_, &event);
  return true;
}

int Server::Run() {
  std::vector<epoll_event> ready(256);
  for (;;) {
    const int count = ::epoll_wait(epoll_, ready.data(), static_cast<int>(ready.size()), -1);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      std::perror("hovane-fileserver: epoll_wait");
      return 1;
    }
    for (int i = 0; i < count; ++i) {
      const int fd = ready[static_cast<std::size_t>(i)].data.fd;
      const std::uint32_t events = ready[static_cast<std::size_t>(i)].events;
      if (fd == signals_) return 0;
      if (fd == listener_) {
        Accept();
        continue;
      }
      auto found = connections_.find(fd);
      if (found == connections_.end()) continue;
      Connection& c = *found->second;
      if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) OnReadable(c);
      if (!connections_.count(fd)) continue;
      if (events & EPOLLOUT) OnWritable(c);
    }
  }
}

void Server::Accept() {
  for (;;) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    const int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &size,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if ((errno == EMFILE || errno == ENFILE) && reserve_ >= 0) {
        // Out of descriptors: the pending client would wake the loop again
        // and again. Accept it with the spare descriptor and close it at once.
        ::close(reserve_);
        const int refused = ::accept(listener_, nullptr, nullptr);
        if (refused >= 0) ::close(refused);
        reserve_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        std::cerr << "refused a client: no descriptors left\n";
        continue;
      }
      return;
    }
    // A reply's header and the first bytes of its content go out in
    // separate sends; without this, the small tail of a short file would
    // wait for the client's delayed acknowledgement.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    c->peer = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    c->events = EPOLLIN;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
    connections_[fd] = std::move(c);
  }
}

void Server::Drop(int fd) {
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  connections_.erase(fd);
}

void Server::Watch(Connection& c) {
  // A stalled connection is only watched for its close; one with a reply in
  // progress only for room to write, so that a client cannot queue requests.
  const std::uint32_t wanted = (!c.stalled && c.Busy()) ? EPOLLOUT : EPOLLIN;
  if (wanted == c.events) return;
  epoll_event event{};
  event.events = wanted;
  event.data.fd = c.fd;
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &event);
  c.events = wanted;
}

void Server::OnReadable(Connection& c) {
  const int fd = c.fd;
  if (c.stalled) {
    char discard[4096];
    const ssize_t got = ::recv(fd, discard, sizeof discard, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) Drop(fd);
    return;
  }
  // Reads no further than the request being assembled.
  const std::size_t have = c.in.size();
  c.in.resize(c.need);
  const ssize_t got = ::recv(fd, c.in.data() + have, c.need - have, 0);
  if (got <= 0) {
    c.in.resize(have);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    Drop(fd);
    return;
  }
  c.in.resize(have + static_cast<std::size_t>(got));
  if (c.in.size() < c.need) return;
  Handle(c);
  if (connections_.count(fd)) {
    Watch(c);
    if (c.Busy()) OnWritable(c);
  }
}

void Server::OnWritable(Connection& c) {
  const int fd = c.fd;
  for (;;) {
    if (c.stalled) return;
    if (c.outSent < c.out.size()) {
      const ssize_t sent =
          ::send(fd, c.out.data() + c.outSent, c.out.size() - c.outSent, MSG_NOSIGNAL);
      if (sent < 0 && (errno == EAGAIN || errno == EINTR)) return;
      if (sent < 0) {
        Drop(fd);
        return;
      }
      c.outSent += static_cast<std::size_t>(sent);
      if (c.outSent < c.out.size()) return;
      c.out.clear();
      c.outSent = 0;
      continue;
    }
    if (c.file >= 0) {
      if (c.chunkSent == c.chunk.size()) {
        // The next chunk, cut where an injected close falls.
        std::uint64_t want = std::min<std::uint64_t>(kChunkSize, c.fileLeft);
        if (faults_.closeAfterContent) {
          const std::uint64_t allowed = *faults_.closeAfterContent > c.contentSent
                                            ? *faults_.closeAfterContent - c.contentSent
                                            : 0;
          if (allowed == 0) {
            Log(c, "fault: close after " + std::to_string(c.contentSent) + " content bytes");
            Drop(fd);
            return;
          }
          want = std::min(want, allowed);
        }
        c.chunk.resize(static_cast<std::size_t>(want));
        const ssize_t got =
            ::pread(c.file, c.chunk.data(), c.chunk.size(), static_cast<off_t>(c.fileOffset));
        if (got <= 0) {
          Log(c, "read error, closing");
          Drop(fd);
          return;
        }
        c.chunk.resize(static_cast<std::size_t>(got));
        c.chunkSent = 0;
        c.fileOffset += static_cast<std::uint64_t>(got);
        c.fileLeft -= static_cast<std::uint64_t>(got);
      }
      const ssize_t sent =
          ::send(fd, c.chunk.data() + c.chunkSent, c.chunk.size() - c.chunkSent, MSG_NOSIGNAL);
      if (sent < 0 && (errno == EAGAIN || errno == EINTR)) return;
      if (sent < 0) {
        Drop(fd);
        return;
      }
      c.chunkSent += static_cast<std::size_t>(sent);
      c.contentSent += static_cast<std::uint64_t>(sent);
      if (c.chunkSent == c.chunk.size() && c.fileLeft == 0) {
        ::close(c.file);
        c.file = -1;
        std::vector<char>().swap(c.chunk);
        c.chunkSent = 0;
      }
      continue;
    }
    break;
  }
  if (c.closeWhenSent) {
    Drop(fd);
    return;
  }
  Watch(c);
}

void Server::Reply(Connection& c, std::int32_t command, std::int32_t count, std::int32_t itemSize,
                   std::string_view body) {
  PacketHeader header;
  header.nCommand = command;
  header.nCount = count;
  header.nItemSize = itemSize;
  const auto bytes = hovane::Encode(header);
  c.out.append(bytes.data(), bytes.size());
  c.out.append(body);
}

void Server::ErrorReply(Connection& c, std::int32_t command, const std::string& text, bool log) {
  PacketHeader header;
  header.nCommand = command;
  header.nStatus = -1;
  const auto bytes = hovane::Encode(header);
  c.out.append(bytes.data(), bytes.size());
  std::array<char, hovane::kErrorTextSize> field{};
  // Always zero-terminated, so the client shows the text and nothing more.
  hovane::SetFieldText(field, std::string_view(text).substr(0, hovane::kErrorTextSize - 1));
  c.out.append(field.data(), field.size());
  if (log) Log(c, "error reply: " + Printable(text));
}

// Applies an injected fault to the request numbered where (0: the list).
bool Server::Inject(Connection& c, int where, std::int32_t command) {
  auto fault = faults_.at.find(where);
  if (fault == faults_.at.end()) return false;
  const std::string at = where == 0 ? "list" : "file " + std::to_string(where);
  switch (fault->second) {
    case FaultKind::Error:
      Log(c, "fault: error at " + at + ": " + Printable(faults_.errorText));
      ErrorReply(c, command, faults_.errorText, false);
      break;
    case FaultKind::NoData:
      Log(c, "fault: nodata at " + at);
      Reply(c, hovane::CMD_NODATA, 0, 0);
      break;
    case FaultKind::Unknown:
      Log(c, "fault: unknown command at " + at);
      Reply(c, kUnknownCommand, 0, 0);
      break;
    case FaultKind::Stall:
      Log(c, "fault: stall at " + at);
      c.stalled = true;
      break;
  }
  return true;
}

void Server::Handle(Connection& c) {
  const PacketHeader header = hovane::DecodePacketHeader(c.in.data());
  if (c.need == hovane::kPacketHeaderSize) {
    // The header is in: find the body it announces and read that next.
    std::int64_t body = 0;
    bool ok = true;
    switch (header.nCommand) {
      case hovane::CMD_LIST:
        ok = header.nItemSize == static_cast<std::int32_t>(hovane::kListSlotSize) &&
             header.nCount >= 0 && header.nCount <= kMaxNames;
        body = std::int64_t{header.nCount} * header.nItemSize;
        break;
      case hovane::CMD_FILE:
        ok = header.nCount == 1 &&
             header.nItemSize == static_cast<std::int32_t>(hovane::kFileRequestSize);
        body = static_cast<std::int64_t>(hovane::kFileRequestSize);
        break;
      case hovane::CMD_END:
        ok = std::int64_t{header.nCount} * header.nItemSize <= 0;
        break;
      default:
        ErrorReply(c, header.nCommand, "unknown command " + std::to_string(header.nCommand));
        c.in.clear();
        return;
    }
    if (!ok) {
      // The stream cannot be followed past a request of unknown length.
      ErrorReply(c, header.nCommand,
                 "malformed request (command " + std::to_string(header.nCommand) + ", " +
                     std::to_string(header.nCount) + " x " + std::to_string(header.nItemSize) +
                     " bytes)");
      c.closeWhenSent = true;
      c.in.clear();
      return;
    }
    if (body > 0) {
      c.need = hovane::kPacketHeaderSize + static_cast<std::size_t>(body);
      return;
    }
  }
  switch (header.nCommand) {
    case hovane::CMD_LIST:
      HandleList(c, header);
      break;
    case hovane::CMD_FILE:
      HandleFile(c, header);
      break;
    default:
      Log(c, "end");
      Reply(c, hovane::CMD_END, 0, 0);
      break;
  }
  c.in.clear();
  c.need = hovane::kPacketHeaderSize;
}

void Server::HandleList(Connection& c, const PacketHeader& header) {
  if (Inject(c, 0, header.nCommand)) return;
  std::string body;
  std::int32_t found = 0;
  for (std::int32_t i = 0; i < header.nCount; ++i) {
    const char* slot = c.in.data() + hovane::kPacketHeaderSize +
                       static_cast<std::size_t>(i) * hovane::kListSlotSize + 4;
    const std::size_t length = ::strnlen(slot, hovane::kListSlotSize - 4);
    const std::string name(slot, length);
    std::string why;
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." ||
        name == ".." || !Resolve(std::string(kServedDirectory) + "/" + name, &why))
      continue;
    hovane::DownloadEntry entry;
    hovane::SetFieldText(entry.szDirectory, kServedDirectory);
    hovane::SetFieldText(entry.szName, name);
    const auto bytes = hovane::Encode(entry);
    body.append(bytes.data(), bytes.size());
    ++found;
  }
  // The last entry carries the end mark, as the client expects it anyway.
  if (found > 0) hovane::wire::PutInt32(&body[body.size() - hovane::kDownloadEntrySize], 2);
  Log(c,
      "list " + std::to_string(header.nCount) + " names -> " + std::to_string(found) + " entries");
  Reply(c, hovane::CMD_LIST, found, static_cast<std::int32_t>(hovane::kDownloadEntrySize), body);
}

void Server::HandleFile(Connection& c, const PacketHeader& header) {
  const int number = ++c.fileRequests;
  if (Inject(c, number, header.nCommand)) return;
  const hovane::FileRequest request =
      hovane::DecodeFileRequest(c.in.data() + hovane::kPacketHeaderSize);
  const std::string path = hovane::FieldText(request.szPath);
  const double offset = request.dOffset;
  if (!std::isfinite(offset) || offset < 0 || offset != std::floor(offset) ||
      offset > 9.007199254740992e15) {
    ErrorReply(c, header.nCommand, "bad offset for " + path);
    return;
  }
  std::string why;
  const auto resolved = Resolve(path, &why);
  if (!resolved) {
    ErrorReply(c, header.nCommand, why);
    return;
  }
  const int file = ::open(resolved->c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (file < 0 || ::fstat(file, &status) < 0) {
    if (file >= 0) ::close(file);
    ErrorReply(c, header.nCommand, "cannot read " + path + ": " + std::strerror(errno));
    return;
  }
  const auto size = static_cast<std::uint64_t>(status.st_size);
  const auto start = static_cast<std::uint64_t>(offset);
  std::array<char, 8> total{};
  hovane::wire::PutDouble(total.data(), static_cast<double>(size));
  Reply(c, hovane::CMD_FILE, 1, 8, std::string_view(total.data(), total.size()));
  Log(c, "file " + Printable(path) + " offset " + std::to_string(start) + " size " +
             std::to_string(size));
  if (start >= size) {
    ::close(file);
    return;
  }
  c.file = file;
  c.fileOffset = start;
  c.fileLeft = size - start;
  c.chunk.clear();
  c.chunkSent = 0;
}

// The file that a request path names inside the served folder. The path is
// narrow text relative to the folder (a leading '/' is ignored); it must
// stay inside the folder even after symbolic links are followed, and name a
// regular file.
std::optional<fs::path> Server::Resolve(const std::string& narrowPath, std::string* why) const {
  const std::string shown = Printable(narrowPath);
  auto utf8 = hovane::platform::NarrowToUtf8(narrowPath);
  if (!utf8) {
    *why = "bad path: " + shown;
    return std::nullopt;
  }
  const fs::path relative = fs::path(*utf8).relative_path().lexically_normal();
  if (relative.empty() || *relative.begin() == "..") {
    *why = "path outside the served folder: " + shown;
    return std::nullopt;
  }
  std::error_code ec;
  const fs::path real = fs::canonical(root_ / relative, ec);
  if (ec) {
    *why = "no such file: " + shown;
    return std::nullopt;
  }
  const auto [rootEnd, unused] =
      std::mismatch(root_.begin(), root_.end(), real.begin(), real.end());
  if (rootEnd != root_.end()) {
    *why = "path outside the served folder: " + shown;
    return std::nullopt;
  }
  if (!fs::is_regular_file(real, ec)) {
    *why = "not a file: " + shown;
    return std::nullopt;
  }
  return real;
}

bool ParseFault(const std::string& text, Faults* faults) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  const std::string kind = text.substr(0, colon);
  const std::string where = text.substr(colon + 1);
  char* end = nullptr;
  if (kind == "close") {
    const unsigned long long count = std::strtoull(where.c_str(), &end, 10);
    if (where.empty() || *end != '\0') return false;
    faults->closeAfterContent = count;
    return true;
  }
  int at = 0;
  if (where != "list") {
    const long number = std::strtol(where.c_str(), &end, 10);
    if (where.empty() || *end != '\0' || number < 1 || number > 1'000'000) return false;
    at = static_cast<int>(number);
  }
  if (kind == "error")
    faults->at[at] = FaultKind::Error;
  else if (kind == "nodata")
    faults->at[at] = FaultKind::NoData;
  else if (kind == "unknown")
    faults->at[at] = FaultKind::Unknown;
  else if (kind == "stall")
    faults->at[at] = FaultKind::Stall;
  else
    return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder, bind = "127.0.0.1";
  long port = 0;
  Faults faults;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "hovane-fileserver: " << arg << " needs a value\n" << kUsage;
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--folder") {
      folder = value();
    } else if (arg == "--bind") {
      bind = value();
    } else if (arg == "--port") {
      const std::string text = value();
      char* end = nullptr;
      port = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || port < 0 || port > 65535) {
        std::cerr << "hovane-fileserver: --port must be 0 to 65535\n";
        return 2;
      }
    } else if (arg == "--fault") {
      const std::string text = value();
      if (!ParseFault(text, &faults)) {
        std::cerr << "hovane-fileserver: bad fault \"" << text << "\"\n" << kUsage;
        return 2;
      }
    } else if (arg == "--error-text") {
      faults.errorText = value();
    } else {
      std::cerr << "hovane-fileserver: unknown option " << arg << "\n" << kUsage;
      return 2;
    }
  }
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) {
    std::cerr << "hovane-fileserver: --folder must name a folder\n" << kUsage;
    return 2;
  }
  // Injected error texts are given in UTF-8 and sent in the system code page.
  if (auto narrow = hovane::platform::Utf8ToNarrow(faults.errorText)) faults.errorText = *narrow;

  Server server(fs::canonical(folder), faults);
  if (!server.Listen(bind, static_cast<int>(port))) {
    std::cerr << "hovane-fileserver: cannot listen on " << bind << ":" << port << ": "
              << std::strerror(errno) << "\n";
    return 1;
  }
  std::cout << "listening on " << bind << ":" << server.port() << std::endl;
  return server.Run();
}
