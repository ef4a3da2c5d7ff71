// The browser window service: which installed browser is started and how,
// with stand-in browsers (small scripts) on a PATH of the test's own, and
// the checks of the front door in front of any opener.
#include "platform/browser/browser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/temp_prefix.h"

namespace hovane::platform {
namespace {

namespace fs = std::filesystem;

class RecordingOpener : public BrowserOpener {
 public:
  bool Open(const BrowserWindowRequest& request) override {
    opened.push_back(request);
    return answer;
  }
  std::vector<BrowserWindowRequest> opened;
  bool answer = true;
};

// Puts PATH on folder for the life of the object.
class PathOn {
 public:
  explicit PathOn(const std::string& folder) {
    if (const char* old = std::getenv("PATH")) old_ = old;
    setenv("PATH", folder.c_str(), 1);
  }
  ~PathOn() { setenv("PATH", old_.c_str(), 1); }

 private:
  std::string old_ = "/usr/bin:/bin";
};

// A folder of stand-in browsers. Each writes its name, its parent's process
// id and its arguments (one a line) to <name>.args, then waits on the FIFO
// "release" until the test lets it go, so it is still running when the
// opener returns.
class FakeBrowsers {
 public:
  explicit FakeBrowsers(const std::string& folder) : folder_(folder) {
    fs::create_directories(folder_);
    EXPECT_EQ(mkfifo(Release().c_str(), 0600), 0);
  }

  void Install(const std::string& name) {
    const std::string script = "#!/bin/sh\n"
                               "{ echo \"" + name + "\"; echo \"$PPID\"; "
                               "for a in \"$@\"; do echo \"$a\"; done; } > \"" +
                               folder_ + "/" + name + ".args.tmp\"\n"
                               "/bin/mv \"" + folder_ + "/" + name + ".args.tmp\" \"" + folder_ + "/" +
                               name + ".args\"\n"
                               "read line < \"" + Release() + "\"\n";
    Write(name, script, 0755);
  }
  // An executable file that no system can run.
  void InstallBroken(const std::string& name) { Write(name, "\x7f" "garbage\n", 0755); }
  // A file of the right name that may not be run.
  void InstallNotExecutable(const std::string& name) { Write(name, "#!/bin/sh\n", 0644); }

  // Lets the started stand-in end (it has written its record once the FIFO
  // opens) and returns its record: name, parent id, arguments.
  std::vector<std::string> ReleaseAndRead() {
    const int fifo = open(Release().c_str(), O_WRONLY);
    EXPECT_GE(fifo, 0);
    if (fifo >= 0) {
      EXPECT_EQ(write(fifo, "go\n", 3), 3);
      close(fifo);
    }
    for (const auto& entry : fs::directory_iterator(folder_)) {
      if (entry.path().extension() != ".args") continue;
      std::ifstream in(entry.path());
      std::vector<std::string> lines;
      for (std::string line; std::getline(in, line);) lines.push_back(line);
      fs::remove(entry.path());
      return lines;
    }
    return {};
  }

  const std::string& folder() const { return folder_; }

 private:
  std::string Release() const { return folder_ + "/release"; }
  void Write(const std::string& name, const std::string& content, int mode) {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path) << content;
    fs::permissions(path, static_cast<fs::perms>(mode));
  }

  std::string folder_;
};

TEST(BrowserWindow, TheFrontDoorRefusesAddressesAndSizesThatCannotBeOpened) {
  RecordingOpener recorder;
  BrowserOpener* previous = SetBrowserOpener(&recorder);
  struct Row {
    BrowserWindowRequest request;
    bool opened;
  };
  const Row rows[] = {
      {{"http://www.hovane.net/popup/activex_mainpop.jsp", 550, 700}, true},
      {{"https://127.0.0.1:8080/a?b=c&d=%20", 1, 1}, true},
      {{"", 550, 700}, false},
      {{"http://", 550, 700}, false},
      {{"www.hovane.net/popup", 550, 700}, false},
      {{"--app=http://x", 550, 700}, false},
      {{"file:///etc/passwd", 550, 700}, false},
      {{"javascript:alert(1)", 550, 700}, false},
      {{"http://x/a b", 550, 700}, false},
      {{"http://x/\n--no-sandbox", 550, 700}, false},
      {{"http://x/\xEA\xB0\x80", 550, 700}, false},
      {{"http://x/", 0, 700}, false},
      {{"http://x/", 550, -1}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.request.url);
    recorder.opened.clear();
    EXPECT_EQ(OpenBrowserWindow(row.request), row.opened);
    ASSERT_EQ(recorder.opened.size(), row.opened ? 1u : 0u);
    if (!row.opened) continue;
    EXPECT_EQ(recorder.opened[0].url, row.request.url);
    EXPECT_EQ(recorder.opened[0].width, row.request.width);
    EXPECT_EQ(recorder.opened[0].height, row.request.height);
  }
  // The opener's own failure is the answer.
  recorder.answer = false;
  EXPECT_FALSE(OpenBrowserWindow({"http://x/", 550, 700}));
  EXPECT_EQ(SetBrowserOpener(previous), &recorder);
}

TEST(BrowserWindow, StartsTheBestInstalledBrowserDetached) {
  test::TempPrefix scratch;
  const std::string url = "http://www.hovane.net/popup/activex_mainpop.jsp";
  const std::vector<std::string> appMode = {"--app=" + url, "--window-size=550,700"};
  const std::vector<std::string> newWindow = {"--width", "550", "--height", "700",
                                              "--new-window", url};
  struct Row {
    const char* what;
    std::vector<std::string> installed;
    std::vector<std::string> broken;  // present but cannot be run
    std::string started;              // "" when nothing can open the page
    std::vector<std::string> arguments;
  };
  const Row rows[] = {
      {"chromium first", {"xdg-open", "firefox", "chromium"}, {}, "chromium", appMode},
      {"any of the family", {"firefox", "google-chrome"}, {}, "google-chrome", appMode},
      {"another browser", {"xdg-open", "firefox"}, {}, "firefox", newWindow},
      {"the desktop's opener", {"xdg-open"}, {}, "xdg-open", {url}},
      {"a broken browser is passed over", {"xdg-open"}, {"chromium", "firefox"}, "xdg-open", {url}},
      {"nothing", {}, {"chromium"}, "", {}},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakeBrowsers browsers(scratch.root() + "/bin" + std::to_string(index++));
    for (const std::string& name : row.installed) browsers.Install(name);
    for (const std::string& name : row.broken) browsers.InstallBroken(name);
    browsers.InstallNotExecutable("chromium-browser");
    PathOn path("/nonexistent:" + browsers.folder());

    SystemBrowserOpener opener;
    const bool opened = opener.Open({url, 550, 700});
    ASSERT_EQ(opened, !row.started.empty());
    if (!opened) continue;
    // The stand-in still runs here: the opener did not wait for it.
    const std::vector<std::string> record = browsers.ReleaseAndRead();
    ASSERT_GE(record.size(), 2u);
    EXPECT_EQ(record[0], row.started);
    // Not our child: it cannot become our zombie.
    EXPECT_NE(record[1], std::to_string(getpid()));
    EXPECT_EQ(std::vector<std::string>(record.begin() + 2, record.end()), row.arguments);
  }
  int status = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace hovane::platform
