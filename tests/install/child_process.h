// A helper process for the install tests: started with the argv[0] and the
// environment the test chooses, talked to over its standard input and
// output, and killed and waited for at the end of its scope.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace hovane::test {

class ChildProcess {
 public:
  // program: the file to run; args[0] is its argv[0]. Standard error goes
  // to /dev/null unless keepStderr.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               char** env = environ, bool keepStderr = false) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
      close(in[0]);
      close(in[1]);
      return;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (!keepStderr)
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), env) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = fdopen(out[0], "r");
  }
  ~ChildProcess() {
    CloseInput();
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (out_) fclose(out_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0 && out_ != nullptr; }
  pid_t pid() const { return pid_; }

  // The next line of its output without the newline; nullopt at the end.
  std::optional<std::string> ReadLine() {
    if (!out_) return std::nullopt;
    char line[512];
    if (fgets(line, sizeof line, out_) == nullptr) return std::nullopt;
    std::string text = line;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

  // Everything it still writes, until it closes its output.
  std::string ReadAll() {
    std::string all;
    while (auto line = ReadLine()) all += *line + "\n";
    return all;
  }

  void CloseInput() {
    if (in_ >= 0) close(in_);
    in_ = -1;
  }

  // The wait status when it has ended, without waiting; nullopt while it runs.
  std::optional<int> Ended() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_) return std::nullopt;
    pid_ = -1;
    return status;
  }

  // Waits for it to end; the wait status.
  int Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  FILE* out_ = nullptr;
};

}  // namespace hovane::test
