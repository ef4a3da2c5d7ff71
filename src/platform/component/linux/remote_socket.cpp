// Linux backend of the remote channel's byte stream: a Unix-domain stream
// socketpair.
//
// send() with MSG_NOSIGNAL, because a peer that died would otherwise kill
// the writer with SIGPIPE; a closed peer then shows as EPIPE or ECONNRESET.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/component/remote_backend.h"

namespace hovane::platform::backend {

bool MakeStreamPair(int* first, int* second) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  *first = ends[0];
  *second = ends[1];
  return true;
}

bool IsConnectedStream(int descriptor) {
  if (descriptor < 0) return false;
  struct stat st;
  if (::fstat(descriptor, &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  int type = 0;
  socklen_t length = sizeof type;
  if (::getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
    return false;
  sockaddr_storage peer;
  socklen_t peerLength = sizeof peer;
  return ::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0;
}

void CloseDescriptor(int descriptor) {
  if (descriptor >= 0) ::close(descriptor);
}

bool WriteAll(int descriptor, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t sent = ::send(descriptor, bytes, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

StreamRead ReadExact(int descriptor, void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::recv(descriptor, bytes + got, size - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return got == 0 ? StreamRead::End : StreamRead::Failed;
    if (n < 0) return got == 0 && errno == ECONNRESET ? StreamRead::End : StreamRead::Failed;
    got += static_cast<std::size_t>(n);
  }
  return StreamRead::Ok;
}

}  // namespace hovane::platform::backend
