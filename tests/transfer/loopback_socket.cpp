#include "transfer/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace hovane::test {
namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

LoopbackSocket::LoopbackSocket(int backlog) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in local = Loopback(0);
  socklen_t size = sizeof local;
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
  if (backlog >= 0) {
    EXPECT_EQ(::listen(fd, backlog), 0);
  }
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
  port = ntohs(local.sin_port);
}

LoopbackSocket::~LoopbackSocket() { ::close(fd); }

bool LoopbackSocket::HasPendingConnection() const {
  pollfd watch{fd, POLLIN, 0};
  return ::poll(&watch, 1, 0) > 0;
}

SilentListener::SilentListener() {
  for (int i = 0; i < 8; ++i) {
    const int fill = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    fills_.push_back(fill);
    const sockaddr_in peer = Loopback(listener_.port);
    ::connect(fill, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    pollfd watch{fill, POLLOUT, 0};
    if (::poll(&watch, 1, 500) == 0) break;  // this one is left hanging: the queue is full
  }
}

SilentListener::~SilentListener() {
  for (int fill : fills_) ::close(fill);
}

}  // namespace hovane::test
