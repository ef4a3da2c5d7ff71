// Linux backend of the elevation surrogate's process: posix_spawn with one
// inherited descriptor, waitpid, /proc/self/exe, and access checks with the
// effective ids (faccessat with AT_EACCESS), which is what the kernel will
// apply when the file is opened.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/component/remote_backend.h"

extern char** environ;

namespace hovane::platform::backend {
namespace {

// How long a child may take to end after its connection closed before it
// is killed.
constexpr auto kReapGrace = std::chrono::seconds(10);
constexpr auto kReapPoll = std::chrono::milliseconds(20);

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

int StartProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& setEnvironment, int inherited, int childDescriptor,
                 std::string* error) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    bool replaced = false;
    for (const std::string& set : setEnvironment)
      replaced = replaced || NameOf(set) == NameOf(text);
    if (!replaced) environment.push_back(text);
  }
  environment.insert(environment.end(), setEnvironment.begin(), setEnvironment.end());
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  // dup2 onto the same number would keep close-on-exec set, so the end is
  // first moved above the number it is to have in the child.
  const int moved = ::fcntl(inherited, F_DUPFD_CLOEXEC, childDescriptor + 1);
  if (moved < 0) {
    *error = std::strerror(errno);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, moved, childDescriptor);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t child = -1;
  const int result =
      ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(moved);
  if (result != 0) {
    *error = std::strerror(result);
    return -1;
  }
  return child;
}

void ReapChild(int process) {
  if (process <= 0) return;
  const auto deadline = std::chrono::steady_clock::now() + kReapGrace;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(process, &status, WNOHANG);
    if (done == process || (done < 0 && errno != EINTR)) return;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kReapPoll);
  }
  ::kill(process, SIGKILL);
  int status = 0;
  while (::waitpid(process, &status, 0) < 0 && errno == EINTR) {
  }
}

std::string RunningExecutableFolder() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

bool MayWrite(const std::string& path) {
  std::string current = path;
  for (;;) {
    struct stat st;
    if (::stat(current.c_str(), &st) == 0)
      return ::faccessat(AT_FDCWD, current.c_str(), W_OK, AT_EACCESS) == 0;
    if (errno != ENOENT) return false;
    const std::size_t slash = current.rfind('/');
    if (slash == std::string::npos || slash == 0) return false;
    current.resize(slash);
  }
}

}  // namespace hovane::platform::backend
