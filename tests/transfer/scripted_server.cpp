#include "transfer/scripted_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace hovane::test {
namespace {

constexpr int kWaitMs = 30'000;

struct Step {
  enum class Kind { Read, Send, Close, Reset, Hold } kind;
  std::size_t count = 0;
  std::string bytes;
};

}  // namespace

struct ScriptedServer::Impl {
  int listener = -1;
  int connection = -1;
  std::uint16_t port = 0;
  std::vector<Step> steps;
  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  enum class Order { None, Reset, Close } order = Order::None;
  bool orderDone = false;
  bool finished = false;
  std::string received;
  int wake[2] = {-1, -1};  // written by the destructor to end every wait

  // Waits until fd is ready for events; false after the bounded wait or when
  // the server is being destroyed.
  bool WaitFor(int fd, short events) {
    pollfd watch[2] = {{fd, events, 0}, {wake[0], POLLIN, 0}};
    for (;;) {
      const int ready = ::poll(watch, 2, kWaitMs);
      if (ready < 0 && errno == EINTR) continue;
      return ready > 0 && watch[1].revents == 0 && watch[0].revents != 0;
    }
  }

  void CloseConnection(bool abortive) {
    if (connection < 0) return;
    if (abortive) {
      const linger value{1, 0};
      ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &value, sizeof value);
    } else {
      ::shutdown(connection, SHUT_WR);
      // Reads what the client still sends until it closes too, so that the
      // close stays orderly (no reset for unread data).
      Drain();
    }
    ::close(connection);
    connection = -1;
  }

  void Drain() {
    char buffer[4096];
    while (WaitFor(connection, POLLIN)) {
      const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      std::lock_guard lock(mutex);
      received.append(buffer, static_cast<std::size_t>(got));
    }
  }

  void Run() {
    if (WaitFor(listener, POLLIN)) connection = ::accept(listener, nullptr, nullptr);
    if (connection < 0) return;
    for (const Step& step : steps) {
      switch (step.kind) {
        case Step::Kind::Read: {
          std::vector<char> buffer(step.count);
          std::size_t have = 0;
          while (have < step.count && WaitFor(connection, POLLIN)) {
            const ssize_t got = ::recv(connection, buffer.data() + have, step.count - have, 0);
            if (got <= 0) break;
            have += static_cast<std::size_t>(got);
          }
          std::lock_guard lock(mutex);
          received.append(buffer.data(), have);
          break;
        }
        case Step::Kind::Send: {
          std::size_t sent = 0;
          while (sent < step.bytes.size() && WaitFor(connection, POLLOUT)) {
            const ssize_t count = ::send(connection, step.bytes.data() + sent,
                                         step.bytes.size() - sent, MSG_NOSIGNAL);
            if (count <= 0) break;
            sent += static_cast<std::size_t>(count);
          }
          break;
        }
        case Step::Kind::Close:
          CloseConnection(false);
          return;
        case Step::Kind::Reset:
          CloseConnection(true);
          return;
        case Step::Kind::Hold: {
          std::unique_lock lock(mutex);
          changed.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                           [this] { return order != Order::None; });
          const Order what = order;
          lock.unlock();
          CloseConnection(what != Order::Close);
          lock.lock();
          orderDone = true;
          changed.notify_all();
          return;
        }
      }
    }
    Drain();
    ::close(connection);
    connection = -1;
  }

  void Give(Order what) {
    std::unique_lock lock(mutex);
    order = what;
    changed.notify_all();
    changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] { return orderDone; });
  }
};

ScriptedServer::ScriptedServer() : impl_(std::make_unique<Impl>()) {
  if (::pipe2(impl_->wake, O_CLOEXEC) < 0)
    throw std::system_error(errno, std::generic_category(), "scripted server");
  impl_->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof local;
  if (impl_->listener < 0 ||
      ::bind(impl_->listener, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0 ||
      ::listen(impl_->listener, 8) < 0 ||
      ::getsockname(impl_->listener, reinterpret_cast<sockaddr*>(&local), &size) < 0)
    throw std::system_error(errno, std::generic_category(), "scripted server");
  impl_->port = ntohs(local.sin_port);
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->order == Impl::Order::None) impl_->order = Impl::Order::Reset;
    impl_->changed.notify_all();
  }
  if (impl_->thread.joinable()) {
    // Ends a script still waiting on the client.
    const char stop = 1;
    [[maybe_unused]] const ssize_t written = ::write(impl_->wake[1], &stop, 1);
    impl_->thread.join();
  }
  if (impl_->connection >= 0) ::close(impl_->connection);
  ::close(impl_->listener);
  ::close(impl_->wake[0]);
  ::close(impl_->wake[1]);
}

std::uint16_t ScriptedServer::port() const { return impl_->port; }

ScriptedServer& ScriptedServer::Read(std::size_t count) {
  impl_->steps.push_back({Step::Kind::Read, count, {}});
  return *this;
}
ScriptedServer& ScriptedServer::Send(std::string bytes) {
  impl_->steps.push_back({Step::Kind::Send, 0, std::move(bytes)});
  return *this;
}
ScriptedServer& ScriptedServer::Close() {
  impl_->steps.push_back({Step::Kind::Close, 0, {}});
  return *this;
}
ScriptedServer& ScriptedServer::Reset() {
  impl_->steps.push_back({Step::Kind::Reset, 0, {}});
  return *this;
}
ScriptedServer& ScriptedServer::Hold() {
  impl_->steps.push_back({Step::Kind::Hold, 0, {}});
  return *this;
}

void ScriptedServer::Start() {
  impl_->thread = std::thread([this] {
    impl_->Run();
    std::lock_guard lock(impl_->mutex);
    impl_->finished = true;
  });
}

void ScriptedServer::ResetNow() { impl_->Give(Impl::Order::Reset); }
void ScriptedServer::CloseNow() { impl_->Give(Impl::Order::Close); }

std::string ScriptedServer::Received() {
  if (impl_->thread.joinable()) impl_->thread.join();
  std::lock_guard lock(impl_->mutex);
  return impl_->received;
}

std::string Le32(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>(bits >> (8 * i));
  return bytes;
}

std::string LeDouble(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  std::string bytes(8, '\0');
  for (int i = 0; i < 8; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>(bits >> (8 * i));
  return bytes;
}

namespace {
std::string Field(std::string_view text, std::size_t size) {
  std::string field(text.substr(0, size));
  field.resize(size, '\0');
  return field;
}
}  // namespace

std::string Header(std::int32_t command, std::int32_t count, std::int32_t itemSize,
                   std::int32_t status, std::string_view userId) {
  return Le32(command) + Le32(count) + Le32(itemSize) + Le32(status) + Field(userId, 12);
}

std::string Entry(std::string_view name, std::string_view directory, std::int32_t position) {
  return Le32(position) + std::string(768, 'r') + Field(directory, 256) + Field(name, 256) +
         std::string(8, 'r');
}

std::string ListReply(std::initializer_list<std::string> entries) {
  std::string reply = Header(10001, static_cast<std::int32_t>(entries.size()), 1292);
  for (const std::string& entry : entries) reply += entry;
  return reply;
}

std::string FileReply(double total) { return Header(1000, 1, 8) + LeDouble(total); }

std::string ErrorReply(std::string_view text, std::int32_t command) {
  return Header(command, 0, 0, -1) + Field(text, 256);
}

std::string EndReply() { return Header(5, 0, 0); }

}  // namespace hovane::test
