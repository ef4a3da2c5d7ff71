// The version checks of the control against a real HTTP server: the version
// file is created, repaired and compared as the list says.
#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/foreign_marker.h"
#include "catalogue/locations.h"
#include "control/control.h"
#include "control/settings.h"
#include "fixtures/http_server.h"
#include "fixtures/temp_prefix.h"
#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/msgbox/message_box.h"
#include "platform/shell/shell.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A version file with the given (name, version) sections, as stored on disk.
std::string VersionFile(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string text;
  for (std::size_t i = 0; i < entries.size(); ++i)
    text += "[File" + std::to_string(i + 1) + "]\r\nFileName=" + entries[i].first +
            "\r\nVersion=" + entries[i].second + "\r\n";
  return text;
}

class VersionCheck : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::SetMessageBoxService(&boxes);
    server.Serve("/version/version.html", "A:1\nB:2\nC:3\n");
    UseList("/version/version.html");
  }
  void TearDown() override { platform::SetMessageBoxService(previous_); }

  void UseList(const std::string& path) { control.SetVirsionUrl(Wide(server.Url(path))); }
  static std::string VersionFileWindowsPath() {
    return *platform::GetShellFolder(platform::ShellFolder::ApplicationData) +
           "\\Hovane\\HovaneVersion.ini";
  }
  std::string VersionFilePath() const { return prefix.Host(VersionFileWindowsPath()); }
  std::string ReadVersionFile() const { return test::ReadHostFile(VersionFilePath()); }
  void WriteVersionFile(const std::string& content) { test::WriteHostFile(VersionFilePath(), content); }

  HRESULT Check(VARIANT_BOOL* result) { return control.SingleCheckVersion(result); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes.Shown()) {
      EXPECT_EQ(box.caption, "HoVaneUpdate");
      texts.push_back(box.text);
    }
    return texts;
  }

  test::TempPrefix prefix;
  test::HttpTestServer server;
  platform::ScriptedMessageBoxes boxes;
  CHoVaneUpdateInstaller control;

 private:
  platform::MessageBoxService* previous_ = nullptr;
};

TEST_F(VersionCheck, FirstCheckCreatesTheFileWithEveryEntryToFetch) {
  VARIANT_BOOL result = -1;
  EXPECT_EQ(Check(&result), S_FALSE);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadVersionFile(), VersionFile({{"A", "0,0,0,0"}, {"B", "0,0,0,0"}, {"C", "0,0,0,0"}}));
  EXPECT_TRUE(Messages().empty());
  // The list was fetched twice: once to create the file, once to compare.
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[0].userAgent, "HoVaneUpdate");
}

TEST_F(VersionCheck, AfterStoringTheListEveryPositionIsCurrent) {
  COptionFile file;
  file.SelectVersionFile(TheModule().m_strVersionListUrl);
  EXPECT_EQ(file.StoreVersionList(), 1);
  EXPECT_TRUE(fs::is_directory(prefix.Host(GetInstallFolder())));
  VARIANT_BOOL result = -1;
  EXPECT_EQ(Check(&result), S_OK);
  EXPECT_EQ(result, 1);
}

TEST_F(VersionCheck, ComparisonAndRepairFollowTheListPositionByPosition) {
  struct Case {
    const char* name;
    std::string list;
    std::string fileBefore;
    std::string fileAfter;  // "" when the check must not write the file
    HRESULT status;
    std::size_t positions;
  };
  const std::string stored = VersionFile({{"A", "1"}, {"B", "2"}, {"C", "3"}});
  const Case cases[] = {
      {"all current", "A:1\nB:2\nC:3", stored, "", S_OK, 3},
      {"a version changes", "A:1\nB:9\nC:3", stored, "", S_FALSE, 3},
      {"a name changes", "A:1\nX:2\nC:3", stored,
       VersionFile({{"A", "1"}, {"X", "0,0,0,0"}, {"C", "3"}}), S_FALSE, 3},
      {"crlf reads as lf", "A:1\r\nB:2\r\nC:3\r\n", stored, "", S_OK, 3},
      {"duplicate names keep the last version", "A:1\nB:2\nA:3",
       VersionFile({{"A", "3"}, {"B", "2"}, {"A", "3"}}), "", S_OK, 2},
      {"a shrinking list leaves later sections alone", "A:1\nB:2",
       VersionFile({{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}}), "", S_OK, 2},
      {"an empty stored name is always rewritten", ":5",
       VersionFile({{"", "5"}}), VersionFile({{"", "0,0,0,0"}}), S_FALSE, 1},
      {"an empty version stays current once stored", "A:", VersionFile({{"A", ""}}), "", S_OK, 1},
      {"no entries: nothing to fetch", "<html>\n</html>\n", stored, "", S_OK, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CHoVaneUpdateInstaller fresh;
    server.Serve("/version/version.html", c.list);
    WriteVersionFile(c.fileBefore);
    const auto before = platform::GetFileStatus(VersionFileWindowsPath());
    VARIANT_BOOL result = -1;
    EXPECT_EQ(fresh.SingleCheckVersion(&result), c.status);
    if (c.fileAfter.empty()) {
      // Not written at all, not even with the same bytes.
      const auto after = platform::GetFileStatus(VersionFileWindowsPath());
      ASSERT_TRUE(before && after);
      EXPECT_EQ(after->inode, before->inode);
      EXPECT_EQ(after->modifiedNs, before->modifiedNs);
    }
    EXPECT_EQ(result, c.status == S_OK ? 1 : 0);
    EXPECT_EQ(fresh.ServerVersions().size(), c.positions);
    EXPECT_EQ(ReadVersionFile(), c.fileAfter.empty() ? c.fileBefore : c.fileAfter);
  }
  EXPECT_TRUE(Messages().empty());
}

TEST_F(VersionCheck, NamesFromEarlierListsStayInTheMap) {
  server.Serve("/other/version.html", "P:1\nQ:1\n");
  WriteVersionFile(VersionFile({{"A", "1"}, {"B", "2"}, {"C", "3"}}));
  VARIANT_BOOL result = -1;
  EXPECT_EQ(Check(&result), S_OK);
  UseList("/other/version.html");
  // Five names now: positions 1-2 hold P and Q (marked), 3 is C, 4-5 are
  // empty and so current.
  EXPECT_EQ(Check(&result), S_FALSE);
  EXPECT_EQ(control.ServerVersions().size(), 5u);
}

TEST_F(VersionCheck, FailedFetchesShowTheirReasonAndWriteNothing) {
  struct Case {
    const char* name;
    std::function<void()> serve;
    std::string expectInMessage;
  };
  const Case cases[] = {
      {"404", [&] { server.ServeStatus("/version/version.html", 404, "A:9\n"); }, "404"},
      {"500", [&] { server.ServeStatus("/version/version.html", 500, "A:9\n"); }, "500"},
      {"nothing answered", [&] { server.ServeNothing("/version/version.html"); }, ""},
  };
  const std::string stored = VersionFile({{"A", "1"}, {"B", "2"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.Clear();
    WriteVersionFile(stored);
    c.serve();
    UseList("/version/version.html");
    VARIANT_BOOL result = -1;
    CHoVaneUpdateInstaller fresh;
    // An empty map after a failed fetch means nothing to compare: current.
    EXPECT_EQ(fresh.SingleCheckVersion(&result), S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadVersionFile(), stored);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(c.expectInMessage), std::string::npos) << messages[0];
    EXPECT_LE(messages[0].size(), 254u);
  }
}

TEST_F(VersionCheck, UnusableUrlsFailBeforeAnythingIsSent) {
  for (const char* url : {"", "ftp://127.0.0.1/version.html", "file:///etc/passwd", "no url"}) {
    SCOPED_TRACE(url);
    boxes.Clear();
    control.SetVirsionUrl(Wide(url));
    VARIANT_BOOL result = -1;
    EXPECT_EQ(Check(&result), S_OK);
    // Twice: the missing version file is reset first, then synced.
    EXPECT_EQ(Messages().size(), 2u);
  }
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(VersionCheck, ABrokenTransferKeepsTheEntriesThatArrived) {
  WriteVersionFile(VersionFile({{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}, {"E", "5"}}));
  server.ServeCut("/version/version.html", "File1:1\nFile2:1\nFil", 200);
  COptionFile file;
  file.SelectVersionFile(server.Url("/version/version.html"));
  EXPECT_EQ(file.ResetVersionList(), 0);
  EXPECT_EQ(ReadVersionFile(), VersionFile({{"File1", "0,0,0,0"},
                                            {"File2", "0,0,0,0"},
                                            {"C", "3"},
                                            {"D", "4"},
                                            {"E", "5"}}));
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(VersionCheck, AServerThatNeverAnswersFailsInTheEnd) {
  setenv("HOVANE_HTTP_STALL_SECONDS", "2", 1);
  server.ServeNever("/version/version.html");
  UseList("/version/version.html");
  WriteVersionFile(VersionFile({{"A", "1"}}));
  VARIANT_BOOL result = -1;
  EXPECT_EQ(Check(&result), S_OK);
  EXPECT_EQ(Messages().size(), 1u);
  unsetenv("HOVANE_HTTP_STALL_SECONDS");
}

TEST_F(VersionCheck, SetAllFileInstallMarksEverythingAndKeepsAVersionFileOverItsCopy) {
  VARIANT_BOOL result = -1;
  // Before any check the control has no URL selected: the fetch fails.
  EXPECT_EQ(control.SetAllFileInstall(&result), S_OK);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(Messages().size(), 1u);

  WriteVersionFile(VersionFile({{"A", "1"}, {"B", "2"}, {"C", "3"}}));
  Check(&result);
  const std::string legacy = prefix.Host(GetInstallFolder() + "\\HovaneVersion.ini");
  test::WriteHostFile(legacy, VersionFile({{"Z", "9"}}));
  EXPECT_EQ(control.SetAllFileInstall(&result), S_OK);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadVersionFile(), VersionFile({{"A", "0,0,0,0"}, {"B", "0,0,0,0"}, {"C", "0,0,0,0"}}));
  EXPECT_EQ(test::ReadHostFile(legacy), VersionFile({{"Z", "9"}}));
}

TEST_F(VersionCheck, AnEarlierCopyIsMovedInWhenTheVersionFileIsMissing) {
  const std::string legacy = prefix.Host(GetInstallFolder() + "\\HovaneVersion.ini");
  test::WriteHostFile(legacy, VersionFile({{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}}));
  VARIANT_BOOL result = -1;
  EXPECT_EQ(Check(&result), S_FALSE);
  EXPECT_FALSE(fs::exists(legacy));
  EXPECT_EQ(ReadVersionFile(), VersionFile({{"A", "0,0,0,0"},
                                            {"B", "0,0,0,0"},
                                            {"C", "0,0,0,0"},
                                            {"D", "4"}}));
}

TEST_F(VersionCheck, HugeListsAndLinesStayWithinTheLimits) {
  std::string list;
  for (int i = 1; i <= 100000; ++i) list += "file" + std::to_string(i) + ".dat:1,0,0," + std::to_string(i) + "\n";
  server.Serve("/version/version.html", list);
  VARIANT_BOOL result = -1;
  EXPECT_EQ(Check(&result), S_FALSE);
  EXPECT_EQ(control.ServerVersions().size(), 100000u);
  COptionFile file;
  file.SelectVersionFile(TheModule().m_strVersionListUrl);
  EXPECT_EQ(file.GetOptionValue("File100000", "FileName"), "file100000.dat");
  EXPECT_EQ(file.StoreVersionList(), 1);
  EXPECT_EQ(Check(&result), S_OK);

  // A line longer than the layer takes is a failed fetch, not a crash.
  server.Serve("/version/version.html", std::string(3u << 20, 'x') + ":1\n");
  CHoVaneUpdateInstaller fresh;
  boxes.Clear();
  EXPECT_EQ(fresh.SingleCheckVersion(&result), S_OK);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(VersionCheck, ForeignSetupMarker) {
  const std::string marker = GetInstallFolder() + "\\" + kForeignMarkerName;
  const std::string host = prefix.Host(marker);
  COptionFile file;
  // Without the install folder nothing can be created.
  file.SetForeignSetupMarker(1);
  EXPECT_FALSE(fs::exists(host));

  CreateDirectoryTree(GetInstallFolder());
  file.SetForeignSetupMarker(-1);
  EXPECT_EQ(test::ReadHostFile(host), "[ Hovane Foreign Setup ] 1\r\n");
  EXPECT_EQ(fs::file_size(host), 28u);

  test::WriteHostFile(host, "other");
  file.SetForeignSetupMarker(1);
  EXPECT_EQ(test::ReadHostFile(host), "other");

  file.SetForeignSetupMarker(0);
  EXPECT_FALSE(fs::exists(host));
  file.SetForeignSetupMarker(0);
  EXPECT_FALSE(fs::exists(host));

  fs::create_directory(host);
  EXPECT_EQ(FileExists(marker), 1);
  file.SetForeignSetupMarker(1);
  file.SetForeignSetupMarker(0);
  EXPECT_TRUE(fs::is_directory(host));
}

}  // namespace
}  // namespace hovane
