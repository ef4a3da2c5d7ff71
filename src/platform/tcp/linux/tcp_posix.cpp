// TCP backend on POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/tcp/tcp_backend.h"

namespace hovane::platform::backend {

struct HostSocket {
  int fd = -1;
};

namespace {

using Clock = std::chrono::steady_clock;

// A blocking call that gave up after SO_RCVTIMEO / SO_SNDTIMEO reports
// EAGAIN, which would read as "try again"; the caller is told it timed out.
int TranslateError(int error) {
  return (error == EAGAIN || error == EWOULDBLOCK) ? ETIMEDOUT : error;
}

}  // namespace

HostSocket* CreateHostSocket(int* error) {
  // Close-on-exec, so that programs started later (registration, the
  // browser) do not inherit the connection.
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  return new HostSocket{fd};
}

bool SetHostSocketBlocking(HostSocket* socket, bool blocking, int* error) {
  const int flags = ::fcntl(socket->fd, F_GETFL);
  if (flags < 0 ||
      ::fcntl(socket->fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) < 0) {
    *error = errno;
    return false;
  }
  return true;
}

namespace {

// A connect to a port of this machine on which nobody listens can pick that
// same port as its own and meet itself (TCP's simultaneous open). No server
// is there, so it counts as refused rather than as a peer that echoes every
// request back.
bool ConnectedToItself(int fd) {
  sockaddr_in local{}, peer{};
  socklen_t localSize = sizeof local, peerSize = sizeof peer;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) < 0 ||
      ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) < 0)
    return false;
  return local.sin_port == peer.sin_port && local.sin_addr.s_addr == peer.sin_addr.s_addr;
}

}  // namespace

TcpConnectStart StartHostConnect(HostSocket* socket, const std::string& address, std::uint16_t port,
                                 int* error) {
  // inet_aton takes the same forms as inet_addr ("a.b.c.d", "a.b", hex and
  // octal parts) but tells a bad text from 255.255.255.255, so a host name
  // is refused here instead of becoming a connect to the broadcast address.
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  if (::inet_aton(address.c_str(), &peer.sin_addr) == 0) {
    *error = kTcpBadAddress;
    return TcpConnectStart::Failed;
  }
  if (::connect(socket->fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
    if (!ConnectedToItself(socket->fd)) return TcpConnectStart::Connected;
    *error = ECONNREFUSED;
    return TcpConnectStart::Failed;
  }
  // Linux says EINPROGRESS where Windows says WSAEWOULDBLOCK. An interrupted
  // connect goes on in the background, so it is one in progress as well.
  if (errno == EINPROGRESS || errno == EINTR) return TcpConnectStart::InProgress;
  *error = errno;
  return TcpConnectStart::Failed;
}

bool WaitHostConnect(HostSocket* socket, std::chrono::microseconds limit, int* error) {
  // poll rather than select: select cannot watch a descriptor numbered
  // FD_SETSIZE or above, which a busy process can reach.
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd watch{socket->fd, POLLOUT, 0};
    const int ready = ::poll(&watch, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      *error = errno;
      return false;
    }
    if (ready == 0) {
      *error = ETIMEDOUT;
      return false;
    }
    break;
  }
  // Windows marks a failed connect only in the exception set, so a refused
  // server costs the whole wait there; Linux wakes the writer at once and
  // leaves the reason in SO_ERROR.
  int pending = 0;
  socklen_t size = sizeof pending;
  if (::getsockopt(socket->fd, SOL_SOCKET, SO_ERROR, &pending, &size) < 0) {
    *error = errno;
    return false;
  }
  if (pending != 0) {
    *error = pending;
    return false;
  }
  if (ConnectedToItself(socket->fd)) {
    *error = ECONNREFUSED;
    return false;
  }
  return true;
}

bool SetHostLinger(HostSocket* socket, bool on, std::uint16_t seconds, int* error) {
  const linger value{on ? 1 : 0, seconds};
  if (::setsockopt(socket->fd, SOL_SOCKET, SO_LINGER, &value, sizeof value) < 0) {
    *error = errno;
    return false;
  }
  return true;
}

bool SetHostStallLimit(HostSocket* socket, std::chrono::milliseconds limit, int* error) {
  // The socket stays in blocking mode; the kernel gives up a send or receive
  // that moves nothing for this long. A zero timeval means no limit.
  timeval value{};
  value.tv_sec = static_cast<time_t>(limit.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((limit.count() % 1000) * 1000);
  if (::setsockopt(socket->fd, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value) < 0 ||
      ::setsockopt(socket->fd, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value) < 0) {
    *error = errno;
    return false;
  }
  return true;
}

int SendHost(HostSocket* socket, const void* data, int length, int* error) {
  for (;;) {
    // MSG_NOSIGNAL: a peer that has gone away is an error here, never a
    // SIGPIPE that would end the process.
    const ssize_t sent = ::send(socket->fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<int>(sent);
    if (errno == EINTR) continue;
    *error = TranslateError(errno);
    return -1;
  }
}

int ReceiveHost(HostSocket* socket, void* buffer, int length, int* error) {
  for (;;) {
    const ssize_t received = ::recv(socket->fd, buffer, static_cast<std::size_t>(length), 0);
    if (received >= 0) return static_cast<int>(received);
    if (errno == EINTR) continue;
    *error = TranslateError(errno);
    return -1;
  }
}

void ShutdownHostSocket(HostSocket* socket) { ::shutdown(socket->fd, SHUT_RDWR); }

void CloseHostSocket(HostSocket* socket) {
  ::close(socket->fd);
  delete socket;
}

std::string DescribeSystemError(int code) { return std::system_category().message(code); }

}  // namespace hovane::platform::backend
