// hovane-update as a user runs it: a separate process in a temporary
// prefix, against a real HTTP server and the reference file server. The
// whole flow of the demo, each subcommand's exit code and output, and bad
// command lines that must change nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/http_server.h"
#include "fixtures/temp_prefix.h"
#include "transfer/file_server_process.h"

namespace hovane::test {
namespace {

namespace fs = std::filesystem;

struct Finished {
  int exit = -1;
  std::string output;  // standard output and error, in order
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Runs a program to its end with the environment of this test, less any
// display, and both output streams captured together.
Finished RunProgram(const std::string& program, const std::vector<std::string>& args) {
  ChildEnvironment env({"QT_QPA_PLATFORM=offscreen"}, {"DISPLAY", "WAYLAND_DISPLAY"});

  std::vector<std::string> shellArgs{"sh", "-c", "exec \"$0\" \"$@\" 2>&1", program};
  shellArgs.insert(shellArgs.end(), args.begin(), args.end());
  ChildProcess child("/bin/sh", shellArgs, env.envp());
  Finished run;
  if (!child.Started()) return run;
  child.CloseInput();
  run.output = child.ReadAll();
  const int status = child.Wait();
  run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

class HovaneUpdate : public testing::Test {
 protected:
  void SetUp() override {
    release_ = prefix_.root() + "-release";
    ASSERT_EQ(Release({}).exit, 0);
    list_ = ReadHostFile(release_ + "/site/version/dn_version.html");
    http_.Serve("/version/dn_version.html", list_);
    files_ = std::make_unique<FileServerProcess>(release_ + "/files");
  }
  void TearDown() override { fs::remove_all(release_); }

  Finished Release(const std::vector<std::string>& extra) {
    std::vector<std::string> args{"--out", release_ + "/files", "--list",
                                  release_ + "/site/version/dn_version.html"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProgram(HOVANE_SAMPLE_RELEASE_TOOL, args);
  }
  // The host with the prefix and the servers of this test.
  Finished Host(const std::vector<std::string>& command) {
    std::vector<std::string> args{"--prefix", prefix_.root(),
                                  "--url", http_.Url("/version/dn_version.html"),
                                  "--server", "127.0.0.1",
                                  "--port", std::to_string(files_->port()),
                                  "--user-id", "tester"};
    args.insert(args.end(), command.begin(), command.end());
    return RunProgram(HOVANE_UPDATE, args);
  }
  std::string Installed(const std::string& name) const {
    return prefix_.Host("C:\\Program Files\\Hovane\\" + name);
  }

  TempPrefix prefix_;
  std::string release_;
  std::string list_;
  HttpTestServer http_;
  std::unique_ptr<FileServerProcess> files_;
};

TEST_F(HovaneUpdate, InstallsThenFindsEverythingCurrentThenUpdatesOneFile) {
  Finished run = Host({"check"});
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "registered the control for this machine")) << run.output;
  EXPECT_TRUE(Contains(run.output, "설치중: HovanePlugin.ocx 100%")) << run.output;
  EXPECT_TRUE(Contains(run.output, "the update was installed")) << run.output;
  for (const char* name : {"HoVane.exe", "HovanePlugin.dll", "HoVane.ico", "HovaneNotice.txt"})
    EXPECT_TRUE(fs::exists(Installed(name))) << name;
  EXPECT_EQ(RunProgram(Installed("HoVane.exe"), {}).output, "HoVane sample client, release 1.0.0.1\n");

  run = Host({"check"});
  EXPECT_EQ(run.exit, 0);
  EXPECT_TRUE(Contains(run.output, "every client file is current")) << run.output;

  ASSERT_EQ(Release({"--bump", "HovaneNotice.txt"}).exit, 0);
  http_.Serve("/version/dn_version.html",
              ReadHostFile(release_ + "/site/version/dn_version.html"));
  const std::size_t logged = files_->LogLines().size();
  run = Host({"check"});
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_EQ(ReadHostFile(Installed("HovaneNotice.txt")), "HoVane notice, version 1,0,0,2\n");
  std::vector<std::string> sent;
  const auto lines = files_->LogLines();
  for (std::size_t i = logged; i < lines.size(); ++i)
    if (Contains(lines[i], " file ")) sent.push_back(lines[i].substr(lines[i].find(" file ")));
  EXPECT_EQ(sent, std::vector<std::string>{" file ./HovaneNotice.txt offset 0 size 31"});
}

TEST_F(HovaneUpdate, EverySubcommandAnswersWithItsExitCode) {
  const std::string clsidKey =
      "HKLM\\SOFTWARE\\Classes\\CLSID\\{BACDCCC3-B6E8-4C43-A2B3-05B98CB99A2E}";
  const struct {
    std::vector<std::string> command;
    int exit;
    std::string output;  // a part of it
  } cases[] = {
      {{"--help"}, 0, "Commands:"},
      {{"call", "--help"}, 0, "DeleteInstalledFile(text strFileName, out bool bResult)"},
      {{"--version"}, 0, "1.0.2.7"},
      {{"status"}, 0, "IsSucessed     1"},
      {{"reg", clsidKey + "\\InprocServer32"}, 0, "ThreadingModel = \"Apartment\""},
      {{"reg", "HKLM\\SOFTWARE\\NoSuchKey"}, 1, "not found"},
      {{"single-check"}, 1, "a client file is out of date"},
      {{"install"}, 0, "the client files are current"},
      {{"single-check"}, 0, "every client file is current"},
      // Each run is a process of its own: the flags start clear.
      {{"call", "IsUpdateCheck"}, 0, "bResult = 0"},
      {{"call", "SetForeign", "yes"}, 0, "SetForeign: S_OK"},
      {{"call", "SingleCheckVersion"}, 0, "bResult = 1"},
      {{"delete-file", "HovaneNotice.txt"}, 0, "deleted"},
      {{"delete-file", "..\\Hovane\\HoVane.ico"}, 1, "not deleted"},
      {{"reset"}, 0, "every file of the list is marked not installed"},
      {{"call", "SingleCheckVersion"}, 1, "bResult = 0"},
      {{"delete-old"}, 0, "removed"},
      {{"delete-garbage"}, 0, "삭제에 성공하였습니다."},
      {{"delete-folder"}, 0, "the install folder was deleted"},
      {{"register", "--user"}, 0, "registered the control for the current user"},
      {{"reg", "HKCU\\Software\\Classes\\HoVaneUpdate.HoVaneUpdateInstaller\\CLSID"}, 0,
       "{BACDCCC3-B6E8-4C43-A2B3-05B98CB99A2E}"},
      {{"unregister", "--user"}, 0, "unregistered the control for the current user"},
      {{"unregister"}, 0, "unregistered the control for this machine"},
      {{"reg", clsidKey}, 1, "not found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command[0] + (c.command.size() > 1 ? " " + c.command[1] : ""));
    const Finished run = Host(c.command);
    EXPECT_EQ(run.exit, c.exit) << run.output;
    EXPECT_TRUE(Contains(run.output, c.output)) << run.output;
  }
  EXPECT_FALSE(fs::exists(Installed("")));
}

TEST_F(HovaneUpdate, BadCommandLinesSayWhyAndChangeNothing) {
  const std::string fresh = prefix_.root() + "-untouched";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command frobnicate"},
      {{"check", "--verbose"}, "unknown option --verbose"},
      {{"check", "--url"}, "--url needs a value"},
      {{"--url", "ftp://example/list.html", "check"}, "not an http:// or https:// URL"},
      {{"--url", "http:///list.html", "check"}, "not an http:// or https:// URL"},
      {{"--port", "65536", "check"}, "not a port number (0-65535): 65536"},
      {{"--port", "12ab", "check"}, "not a port number"},
      {{"--server", "files.example", "check"}, "not a dotted IPv4 address"},
      {{"check", "extra"}, "check takes no arguments"},
      {{"delete-file"}, "delete-file takes NAME"},
      {{"call", "NoSuchMethod"}, "unknown method NoSuchMethod"},
      {{"call", "DeleteInstalledFile"}, "DeleteInstalledFile takes 1 argument, not 0"},
      {{"call", "SetForeign", "maybe"}, "bIsForeign is a boolean"},
      {{"reg", "HKEY_CLASSES_ROOT\\CLSID"}, "a registry key starts with HKLM\\ or HKCU\\"},
      {{"show"}, "show needs a display"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args{"--prefix", fresh};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Finished run = RunProgram(HOVANE_UPDATE, args);
    EXPECT_EQ(run.exit, 2) << run.output;
    EXPECT_TRUE(Contains(run.output, "hovane-update: " + c.message)) << run.output;
    EXPECT_FALSE(fs::exists(fresh));
  }
}

}  // namespace
}  // namespace hovane::test
