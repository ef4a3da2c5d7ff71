// TCP service: one IPv4 stream connection to a server, as the receive thread
// uses it. Blocking by default; a connect is started without blocking and
// then waited for with a time limit.
//
// Errors. Every operation that fails records why in the calling thread's last
// TCP error (LastTcpError), which stays until the next failure on that
// thread; a successful operation leaves it as it was. The value is the
// operating system's error number, or one of the kTcp* codes below.
// DescribeTcpError gives the system's text for it.
//
// Sends never raise a signal: a peer that has gone away makes Send fail.
//
// Threading: a TcpSocket is used by one thread at a time; the last error is
// per thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace hovane::platform {

// A receive found the connection closed by the peer before a byte arrived.
inline constexpr int kTcpClosedByPeer = -1;
// The operation was asked of a socket that is not open.
inline constexpr int kTcpNotOpen = -2;
// The address text is not a dotted IPv4 address (no name is looked up).
inline constexpr int kTcpBadAddress = -3;

// The last failure recorded on this thread; 0 when there was none yet.
HOVANE_PLATFORM_API int LastTcpError();

// The text of an error code, narrow (system code page), without a trailing
// line break. Codes of the operating system get its own words, in the
// language of the process's locale.
HOVANE_PLATFORM_API std::string DescribeTcpError(int code);

enum class TcpConnectStart {
  Connected,   // connected at once
  InProgress,  // under way; finish it with WaitForConnect
  Failed,      // refused at once; LastTcpError says why
};

// An IPv4 stream socket. Move-only; the destructor closes it.
class HOVANE_PLATFORM_API TcpSocket {
 public:
  TcpSocket();
  ~TcpSocket();
  TcpSocket(TcpSocket&&) noexcept;
  TcpSocket& operator=(TcpSocket&&) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // A new socket, in blocking mode and unconnected; not open on failure.
  static TcpSocket Create();

  bool IsOpen() const;

  // Switches between blocking and non-blocking mode.
  bool SetBlocking(bool blocking);

  // Starts connecting to address:port. The address is dotted IPv4 text
  // ("127.0.0.1", or the shorter forms inet_addr accepts); anything else,
  // including text of 100 bytes or more, fails with kTcpBadAddress without
  // sending anything. In blocking mode the call waits for the connection,
  // unless a signal interrupts the wait (InProgress).
  TcpConnectStart StartConnect(std::string_view address, std::uint16_t port);

  // Waits at most limit for a connect that is under way. True when it has
  // completed and the socket is connected; false on time-out (the system's
  // "timed out" error) or when the connect failed (its error, e.g. refused).
  // A refusal is reported as soon as it arrives.
  bool WaitForConnect(std::chrono::microseconds limit);

  // SO_LINGER: with on false, closing is the ordinary graceful close.
  bool SetLinger(bool on, std::uint16_t seconds);

  // After this, a Send or Receive that moves no byte for limit fails with the
  // system's "timed out" error. Zero (the default) waits without a limit.
  bool SetStallLimit(std::chrono::milliseconds limit);

  // One send: the number of bytes handed to the network (at least 1 when
  // length is above 0), 0 for a length of 0, -1 on error.
  int Send(const void* data, int length);

  // One receive of at most length bytes: the count received, 0 when the peer
  // has closed the connection (recorded as kTcpClosedByPeer when length is
  // above 0), -1 on error.
  int Receive(void* buffer, int length);

  // Shuts the connection down in both directions; the socket stays open.
  void Shutdown();

  // Closes the socket; closing a socket that is not open does nothing.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace hovane::platform
