// Backend of the TCP service: the operating-system calls on one socket.
// Internal to the platform layer. Each call returns its failure as an error
// code (the system's error number, or a kTcp* code of tcp.h) through *error;
// the front door records it as the thread's last error.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/tcp/tcp.h"

namespace hovane::platform::backend {

// Opaque socket of the backend.
struct HostSocket;

HostSocket* CreateHostSocket(int* error);
bool SetHostSocketBlocking(HostSocket* socket, bool blocking, int* error);
// address is a zero-terminated text the front door has checked for length.
TcpConnectStart StartHostConnect(HostSocket* socket, const std::string& address, std::uint16_t port,
                                 int* error);
bool WaitHostConnect(HostSocket* socket, std::chrono::microseconds limit, int* error);
bool SetHostLinger(HostSocket* socket, bool on, std::uint16_t seconds, int* error);
bool SetHostStallLimit(HostSocket* socket, std::chrono::milliseconds limit, int* error);
// length is above 0.
int SendHost(HostSocket* socket, const void* data, int length, int* error);
int ReceiveHost(HostSocket* socket, void* buffer, int length, int* error);
void ShutdownHostSocket(HostSocket* socket);
void CloseHostSocket(HostSocket* socket);

// The system's own text for one of its error numbers (UTF-8 or ASCII as the
// locale gives it).
std::string DescribeSystemError(int code);

}  // namespace hovane::platform::backend
