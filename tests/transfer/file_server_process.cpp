#include "transfer/file_server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "fixtures/temp_prefix.h"

extern char** environ;

namespace hovane::test {

FileServerProcess::FileServerProcess(const std::string& folder, std::vector<std::string> options) {
  std::random_device random;
  logPath_ = (std::filesystem::temp_directory_path() /
              ("hovane-fileserver-" + std::to_string(random()) + ".log"))
                 .string();

  int out[2];
  if (::pipe2(out, O_CLOEXEC) < 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> args = {HOVANE_FILESERVER, "--folder", folder, "--port", "0"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, HOVANE_FILESERVER, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  stdout_ = out[0];
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << HOVANE_FILESERVER;
    return;
  }
  pid_ = pid;

  // "listening on 127.0.0.1:PORT", within a generous bound.
  std::string line;
  pollfd watch{stdout_, POLLIN, 0};
  while (line.find('\n') == std::string::npos && ::poll(&watch, 1, 20'000) > 0) {
    char buffer[256];
    const ssize_t got = ::read(stdout_, buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, static_cast<std::size_t>(got));
  }
  const std::size_t colon = line.rfind(':');
  if (line.rfind("listening on 127.0.0.1:", 0) != 0 || colon == std::string::npos) {
    ADD_FAILURE() << "the file server did not start: " << line;
    return;
  }
  port_ = static_cast<std::uint16_t>(std::atoi(line.c_str() + colon + 1));
}

FileServerProcess::~FileServerProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "file server status " << status;
  }
  if (stdout_ >= 0) ::close(stdout_);
  std::remove(logPath_.c_str());
}

std::vector<std::string> FileServerProcess::LogLines() const {
  std::ifstream in(logPath_);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ServedFolder::ServedFolder() {
  std::random_device random;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("hovane-served-" + std::to_string(random()));
  std::filesystem::create_directories(folder);
  path_ = folder.string();
}

ServedFolder::~ServedFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ServedFolder::Add(const std::string& utf8Name, const std::string& content) {
  WriteHostFile(path_ + "/" + utf8Name, content);
}

void ServedFolder::AddCopy(const std::string& utf8Name, const std::string& hostFile) {
  std::filesystem::copy_file(hostFile, path_ + "/" + utf8Name,
                             std::filesystem::copy_options::overwrite_existing);
}

}  // namespace hovane::test
