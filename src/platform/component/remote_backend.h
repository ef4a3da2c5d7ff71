// Backend of the remote channel and the elevation surrogate: byte streams,
// child processes and access checks. Internal to the platform layer; the
// wire format and every decision live in the front doors (remote.cpp,
// elevation.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace hovane::platform::backend {

// A connected pair of stream endpoints, both closed on exec.
bool MakeStreamPair(int* first, int* second);
// Whether descriptor is an open, connected stream socket.
bool IsConnectedStream(int descriptor);
void CloseDescriptor(int descriptor);

// Writes all of data; false when the connection is gone (never raises a
// signal for a closed peer).
bool WriteAll(int descriptor, const void* data, std::size_t size);

enum class StreamRead { Ok, End, Failed };
// Reads exactly size bytes, waiting as long as the peer keeps the
// connection. End: the peer closed it before the first byte; Failed: it
// closed it in the middle, or the read failed.
StreamRead ReadExact(int descriptor, void* data, std::size_t size);

// Starts program with args (args[0] is its argv[0]) and this process's
// environment with the entries of setEnvironment ("NAME=value") put in
// place of those of the same name. inherited is handed to the child as
// descriptor childDescriptor; its standard streams are this process's.
// The child's process id, or -1 with the reason in *error.
int StartProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& setEnvironment, int inherited, int childDescriptor,
                 std::string* error);
// Waits for a child to end. A child that is still running after a grace
// period is killed, so the caller never waits on a stuck child for long.
void ReapChild(int process);

// The folder of this process's executable ("" when unknown).
std::string RunningExecutableFolder();
// Whether a regular file at path may be executed by this process.
bool IsExecutableFile(const std::string& path);
// Whether this process may write path (its effective ids and capabilities
// decide, as the kernel will). A path that does not exist counts as
// writable when its nearest existing parent folder is.
bool MayWrite(const std::string& path);

}  // namespace hovane::platform::backend
