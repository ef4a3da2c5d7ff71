// Starting a browser on Linux: the program is looked up in PATH's folders
// and started through a short-lived intermediate child, so that the browser
// is adopted by init (or the nearest subreaper) and never becomes a zombie
// of ours, whatever it does and however long it runs.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <string>
#include <vector>

#include "platform/browser/browser_backend.h"

extern char** environ;

namespace hovane::platform::backend {
namespace {

// Browsers that take --app: a window with the page alone, no toolbar, menu
// bar or status bar.
constexpr const char* kAppModeBrowsers[] = {
    "chromium",         "chromium-browser", "google-chrome-stable", "google-chrome",
    "microsoft-edge-stable", "microsoft-edge", "brave-browser", "vivaldi-stable",
};
// Browsers that open a new window of a given size, with their own controls.
constexpr const char* kWindowBrowsers[] = {"firefox", "firefox-esr"};
// The desktop's opener: the user's browser, however it is set up.
constexpr const char* kDesktopOpener = "xdg-open";

std::string FindProgram(const std::string& name, const std::string& searchPath) {
  std::stringstream folders(searchPath);
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (folder.empty()) continue;
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

}  // namespace

std::vector<std::vector<std::string>> BrowserCommandLines(const BrowserWindowRequest& request,
                                                          const std::string& searchPath) {
  const std::string width = std::to_string(request.width);
  const std::string height = std::to_string(request.height);
  std::vector<std::vector<std::string>> lines;
  for (const char* name : kAppModeBrowsers) {
    const std::string program = FindProgram(name, searchPath);
    if (program.empty()) continue;
    lines.push_back({program, "--app=" + request.url, "--window-size=" + width + "," + height});
  }
  for (const char* name : kWindowBrowsers) {
    const std::string program = FindProgram(name, searchPath);
    if (program.empty()) continue;
    lines.push_back({program, "--width", width, "--height", height, "--new-window", request.url});
  }
  const std::string opener = FindProgram(kDesktopOpener, searchPath);
  if (!opener.empty()) lines.push_back({opener, request.url});
  return lines;
}

bool StartDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  // Everything the children need is prepared before fork: in a threaded
  // process the children may only make async-signal-safe calls.
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devNull < 0) return false;
  // The browser's exec failure comes back as its errno through this pipe;
  // a successful exec closes the write end without a byte.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    close(devNull);
    return false;
  }

  const pid_t intermediate = fork();
  if (intermediate == 0) {
    close(report[0]);
    setsid();
    const pid_t browser = fork();
    if (browser == 0) {
      dup2(devNull, STDIN_FILENO);
      dup2(devNull, STDOUT_FILENO);
      dup2(devNull, STDERR_FILENO);
      execve(args[0], args.data(), environ);
      const int error = errno;
      (void)!write(report[1], &error, sizeof error);
      _exit(127);
    }
    if (browser < 0) {
      const int error = errno;
      (void)!write(report[1], &error, sizeof error);
    }
    _exit(0);
  }
  close(report[1]);
  close(devNull);
  if (intermediate < 0) {
    close(report[0]);
    return false;
  }
  int status = 0;
  while (waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
  }
  // End of file once the browser has exec'd (or both children are gone).
  int error = 0;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return got == 0;
}

}  // namespace hovane::platform::backend
