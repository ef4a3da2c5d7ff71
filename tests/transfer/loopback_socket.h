// Raw sockets on 127.0.0.1 for connection tests: a port that refuses, a
// listener, and a listener so full that it answers nothing.
#pragma once

#include <cstdint>
#include <vector>

namespace hovane::test {

// A socket bound to a free port of 127.0.0.1, listening with backlog when
// asked to, or only bound (so that connects to its port are refused).
struct LoopbackSocket {
  explicit LoopbackSocket(int backlog = -1);
  ~LoopbackSocket();
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;
  bool HasPendingConnection() const;

  int fd = -1;
  std::uint16_t port = 0;
};

// A listener whose accept queue is full: it drops further SYNs, so a
// connect to its port neither completes nor fails until the client gives up.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  std::uint16_t port() const { return listener_.port; }

 private:
  LoopbackSocket listener_{0};
  std::vector<int> fills_;
};

}  // namespace hovane::test
