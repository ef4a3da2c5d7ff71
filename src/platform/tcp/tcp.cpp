// Front door of the TCP service: argument checks and the per-thread last
// error live here once; the backend only makes the operating-system calls.
#include "platform/tcp/tcp.h"

#include "platform/codepage/codepage.h"
#include "platform/tcp/tcp_backend.h"

namespace hovane::platform {
namespace {

// The address is copied into a 100-byte buffer with its terminating zero
// where the connection is made, so longer text cannot be an address.
constexpr std::size_t kMaxAddressBytes = 99;

thread_local int t_lastError = 0;

// Records a failure reported by the backend (or found here) and passes on
// the caller's result, so that each failing path is one line.
template <typename Result>
Result Fail(int error, Result result) {
  t_lastError = error;
  return result;
}

}  // namespace

int LastTcpError() { return t_lastError; }

std::string DescribeTcpError(int code) {
  switch (code) {
    case kTcpClosedByPeer:
      return "The connection was closed by the other side.";
    case kTcpNotOpen:
      return "No connection is open.";
    case kTcpBadAddress:
      return "The address is not a dotted IPv4 address.";
    default:
      break;
  }
  std::string text = backend::DescribeSystemError(code);
  // The system speaks in the locale's encoding, UTF-8 on any current host;
  // text that does not convert is shown as it came rather than lost.
  return Utf8ToNarrow(text).value_or(text);
}

struct TcpSocket::Impl {
  backend::HostSocket* socket = nullptr;
  ~Impl() {
    if (socket) backend::CloseHostSocket(socket);
  }
};

TcpSocket::TcpSocket() = default;
TcpSocket::~TcpSocket() = default;
TcpSocket::TcpSocket(TcpSocket&&) noexcept = default;
TcpSocket& TcpSocket::operator=(TcpSocket&&) noexcept = default;

TcpSocket TcpSocket::Create() {
  TcpSocket result;
  int error = 0;
  backend::HostSocket* socket = backend::CreateHostSocket(&error);
  if (!socket) return Fail(error, std::move(result));
  result.impl_ = std::make_unique<Impl>();
  result.impl_->socket = socket;
  return result;
}

bool TcpSocket::IsOpen() const { return impl_ && impl_->socket; }

bool TcpSocket::SetBlocking(bool blocking) {
  if (!IsOpen()) return Fail(kTcpNotOpen, false);
  int error = 0;
  return backend::SetHostSocketBlocking(impl_->socket, blocking, &error) || Fail(error, false);
}

TcpConnectStart TcpSocket::StartConnect(std::string_view address, std::uint16_t port) {
  if (!IsOpen()) return Fail(kTcpNotOpen, TcpConnectStart::Failed);
  if (address.empty() || address.size() > kMaxAddressBytes ||
      address.find('\0') != std::string_view::npos)
    return Fail(kTcpBadAddress, TcpConnectStart::Failed);
  int error = 0;
  const TcpConnectStart start =
      backend::StartHostConnect(impl_->socket, std::string(address), port, &error);
  return start == TcpConnectStart::Failed ? Fail(error, start) : start;
}

bool TcpSocket::WaitForConnect(std::chrono::microseconds limit) {
  if (!IsOpen()) return Fail(kTcpNotOpen, false);
  int error = 0;
  return backend::WaitHostConnect(impl_->socket, limit, &error) || Fail(error, false);
}

bool TcpSocket::SetLinger(bool on, std::uint16_t seconds) {
  if (!IsOpen()) return Fail(kTcpNotOpen, false);
  int error = 0;
  return backend::SetHostLinger(impl_->socket, on, seconds, &error) || Fail(error, false);
}

bool TcpSocket::SetStallLimit(std::chrono::milliseconds limit) {
  if (!IsOpen()) return Fail(kTcpNotOpen, false);
  int error = 0;
  if (limit.count() < 0) limit = std::chrono::milliseconds(0);
  return backend::SetHostStallLimit(impl_->socket, limit, &error) || Fail(error, false);
}

int TcpSocket::Send(const void* data, int length) {
  if (!IsOpen()) return Fail(kTcpNotOpen, -1);
  if (length <= 0) return 0;
  int error = 0;
  const int sent = backend::SendHost(impl_->socket, data, length, &error);
  return sent < 0 ? Fail(error, -1) : sent;
}

int TcpSocket::Receive(void* buffer, int length) {
  if (!IsOpen()) return Fail(kTcpNotOpen, -1);
  if (length <= 0) return 0;
  int error = 0;
  const int received = backend::ReceiveHost(impl_->socket, buffer, length, &error);
  if (received < 0) return Fail(error, -1);
  // A close is no error of the socket, but a caller that wanted bytes may
  // want to tell the user why none came.
  if (received == 0) return Fail(kTcpClosedByPeer, 0);
  return received;
}

void TcpSocket::Shutdown() {
  if (IsOpen()) backend::ShutdownHostSocket(impl_->socket);
}

void TcpSocket::Close() { impl_.reset(); }

}  // namespace hovane::platform
