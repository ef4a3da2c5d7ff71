// Linux backend of the process list: /proc. Each numeric folder is a
// process; cmdline holds its arguments separated by zero bytes, comm its
// short name. comm is cut at 15 bytes, too short for names such as
// "GlobalHoVane.exe", so the name comes from argv[0] and comm only stands in
// for processes without a command line.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/processes/processes_backend.h"

namespace hovane::platform::backend {
namespace {

// argv[0] is read up to this many bytes; a longer one is cut.
constexpr std::size_t kMaxArgumentBytes = 64 * 1024;

bool ParseProcessId(const char* name, std::uint32_t* id) {
  if (*name == '\0') return false;
  std::uint64_t value = 0;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  *id = static_cast<std::uint32_t>(value);
  return true;
}

// Reads a file of /proc up to limit bytes or, with stopAtNul, up to its
// first zero byte. nullopt when it cannot be opened (the process is gone).
std::optional<std::string> ReadProcFile(const std::string& path, std::size_t limit,
                                        bool stopAtNul) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[4096];
  while (content.size() < limit) {
    const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, limit - content.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
    if (stopAtNul && content.find('\0') != std::string::npos) break;
  }
  ::close(fd);
  return content;
}

}  // namespace

std::optional<std::vector<HostProcess>> ReadProcessList(const std::string& root) {
  DIR* dir = ::opendir(root.c_str());
  if (dir == nullptr) return std::nullopt;
  std::vector<std::uint32_t> ids;
  while (const dirent* entry = ::readdir(dir)) {
    std::uint32_t id = 0;
    if (ParseProcessId(entry->d_name, &id)) ids.push_back(id);
  }
  ::closedir(dir);
  std::sort(ids.begin(), ids.end());

  std::vector<HostProcess> processes;
  processes.reserve(ids.size());
  for (std::uint32_t id : ids) {
    const std::string folder = root + "/" + std::to_string(id);
    auto cmdline = ReadProcFile(folder + "/cmdline", kMaxArgumentBytes, true);
    auto comm = ReadProcFile(folder + "/comm", 64, false);
    if (!cmdline && !comm) continue;
    HostProcess process;
    process.processId = id;
    if (cmdline) process.argv0 = cmdline->substr(0, cmdline->find('\0'));
    if (comm) process.shortName = comm->substr(0, comm->find('\n'));
    processes.push_back(std::move(process));
  }
  return processes;
}

}  // namespace hovane::platform::backend
