// The install procedure on real files of a temporary prefix, with real
// modules built by the test suite as the controls it registers.
#include "install/install_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/locations.h"
#include "catalogue/option_file.h"
#include "fixtures/recording_panel.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/text.h"
#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/registry/registry.h"
#include "resources/texts.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;
using test::ReadHostFile;
using test::RecordingPanel;
using test::WriteHostFile;

class InstallFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::SetSystemCodePage(949)); }

  std::string InstallPath(const std::string& name) const {
    return prefix_.Host(GetInstallFolder() + "\\" + name);
  }
  std::string TempPath(const std::string& name) const {
    return prefix_.Host(GetTempFolder() + "\\" + name);
  }
  std::string DelPath(const std::string& name) const {
    return prefix_.Host(GetTempFolder() + "\\del\\" + name);
  }
  // Puts a downloaded file into the temp folder: content, or a copy of a
  // built module.
  void Download(const std::string& name, const std::string& content) {
    WriteHostFile(TempPath(name), content);
  }
  void DownloadModule(const std::string& name, const char* builtFile) {
    fs::create_directories(fs::path(TempPath(name)).parent_path());
    fs::copy_file(builtFile, TempPath(name), fs::copy_options::overwrite_existing);
  }
  // How often a test module's registration entry ran.
  static std::uint32_t Registrations(const std::string& module) {
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(platform::RegistryHive::CurrentUser,
                                  "Software\\HovaneTests\\" + module, platform::RegAccess::Read,
                                  &key) != platform::RegStatus::Ok)
      return 0;
    std::uint32_t calls = 0;
    key.QueryDword("Calls", &calls);
    return calls;
  }
  bool Install(const std::vector<std::string>& names) { return InstallFiles(names, panel_); }

  test::TempPrefix prefix_;
  RecordingPanel panel_;
};

TEST_F(InstallFilesTest, PlacesEveryFileUnderItsInstalledNameAndRegistersControls) {
  WriteHostFile(InstallPath("HoVane.exe"), "old main program");
  WriteHostFile(InstallPath("Tool.exe"), "old tool");
  Download("Tool.exe", "new tool");
  DownloadModule("Plugin.OCX", REGMOD_ZERO);
  DownloadModule("ocx", REGMOD_ZERO);
  Download("HoVane.ico", "icon");
  Download("GlobalHoVane.exe", "foreign main program");
  Download("readme", "no extension");
  const std::string korean = test::Narrow("한글.txt");
  Download(korean, "korean name");

  ASSERT_TRUE(Install({"Tool.exe", "Plugin.OCX", "ocx", "HoVane.ico", "GlobalHoVane.exe", "readme",
                       korean}));

  EXPECT_EQ(ReadHostFile(InstallPath("Tool.exe")), "new tool");
  // Programs can be started; other files are not made executable.
  EXPECT_NE(fs::status(InstallPath("Tool.exe")).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_NE(fs::status(InstallPath("HoVane.exe")).permissions() & fs::perms::owner_exec,
            fs::perms::none);
  EXPECT_EQ(fs::status(InstallPath("readme")).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_TRUE(ReadHostFile(InstallPath("Plugin.dll")) == ReadHostFile(REGMOD_ZERO));
  EXPECT_TRUE(ReadHostFile(InstallPath(".dll")) == ReadHostFile(REGMOD_ZERO));
  EXPECT_FALSE(fs::exists(InstallPath("Plugin.OCX")));
  EXPECT_EQ(Registrations("regmod_zero"), 2u);
  EXPECT_EQ(ReadHostFile(InstallPath("HoVane.ico")), "icon");
  EXPECT_EQ(ReadHostFile(prefix_.Host(COptionFile().GetDataFolder() + "\\HoVane.ico")), "icon");
  EXPECT_EQ(ReadHostFile(InstallPath("HoVane.exe")), "foreign main program");
  EXPECT_FALSE(fs::exists(InstallPath("GlobalHoVane.exe")));
  EXPECT_EQ(ReadHostFile(InstallPath("readme")), "no extension");
  EXPECT_EQ(ReadHostFile(InstallPath(korean)), "korean name");
  // The moved-aside copies went with the temp folder.
  EXPECT_FALSE(fs::exists(TempPath("")));

  const auto calls = panel_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].kind, RecordingPanel::Kind::FileName);
  EXPECT_EQ(calls[0].text, Text(TextId::kTextRegistering));
  EXPECT_EQ(calls[1].kind, RecordingPanel::Kind::UpdateSucceeded);
  EXPECT_EQ(calls[1].a, 1);
}

TEST_F(InstallFilesTest, OnlyTheExactMainControlNameDropsTheFavouritesSetup) {
  const struct {
    const char* name;
    const char* installedAs;
    bool setupDeleted;
  } cases[] = {{"HoVane.ocx", "HoVane.dll", true}, {"hovane.OCX", "hovane.dll", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteHostFile(InstallPath("HovaneFavoriteSetup.ses"), "favourites");
    DownloadModule(c.name, REGMOD_ZERO);
    EXPECT_TRUE(Install({c.name}));
    EXPECT_TRUE(fs::exists(InstallPath(c.installedAs)));
    EXPECT_EQ(fs::exists(InstallPath("HovaneFavoriteSetup.ses")), !c.setupDeleted);
  }
}

TEST_F(InstallFilesTest, AnEmptyListSucceedsAndRemovesTheTempFolder) {
  Download("leftover.bin", "from an earlier run");
  EXPECT_TRUE(Install({}));
  EXPECT_FALSE(fs::exists(TempPath("")));
  EXPECT_EQ(panel_.CallsOf(RecordingPanel::Kind::UpdateSucceeded).size(), 1u);
}

TEST_F(InstallFilesTest, ARunningProgramIsMovedAsideAndReplaced) {
  WriteHostFile(InstallPath("Client.exe"), "running copy");
  platform::ProgramImageHold running =
      platform::ProgramImageHold::Acquire(GetInstallFolder() + "\\Client.exe");
  ASSERT_TRUE(running.IsHeld());
  Download("Client.exe", "new copy");

  EXPECT_TRUE(Install({"Client.exe"}));
  EXPECT_EQ(ReadHostFile(InstallPath("Client.exe")), "new copy");
  // The running copy cannot be deleted, so it and its folders stay behind.
  EXPECT_EQ(ReadHostFile(DelPath("Client.exe")), "running copy");
  EXPECT_EQ(panel_.CallsOf(RecordingPanel::Kind::UpdateSucceeded).size(), 1u);
}

TEST_F(InstallFilesTest, AFailureStopsAtThatFileAndKeepsTheTempFolder) {
  const struct {
    const char* what;
    std::vector<std::string> names;
    std::vector<std::string> installed;  // host-side names present afterwards
    std::vector<std::string> stillInTemp;
  } cases[] = {
      {"held without delete sharing",
       {"A.exe", "Held.exe", "C.exe"},
       {"A.exe"},
       {"Held.exe", "C.exe"}},
      {"registration fails", {"A.exe", "Bad.ocx", "C.exe"}, {"A.exe", "Bad.dll"}, {"C.exe"}},
      {"not a plain file name", {"A.exe", "..\\Evil.exe", "C.exe"}, {"A.exe"}, {"C.exe"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(prefix_.Host(GetInstallFolder()));
    RecordingPanel panel;
    WriteHostFile(InstallPath("Held.exe"), "held copy");
    platform::File held = platform::File::Open(GetInstallFolder() + "\\Held.exe",
                                               platform::OpenMode::OpenExisting,
                                               platform::Access::Read, platform::Share::NoDelete);
    ASSERT_TRUE(held.IsOpen());
    for (const std::string& name : c.names) {
      if (name == "Bad.ocx")
        DownloadModule(name, REGMOD_FAILURE);
      else if (name.find('\\') == std::string::npos)
        Download(name, "new " + name);
    }
    WriteHostFile(prefix_.Host(GetProgramFilesFolder() + "\\Evil.exe"), "untouched");

    EXPECT_FALSE(InstallFiles(c.names, panel));
    for (const std::string& name : c.installed) EXPECT_TRUE(fs::exists(InstallPath(name))) << name;
    for (const std::string& name : c.stillInTemp) EXPECT_TRUE(fs::exists(TempPath(name))) << name;
    EXPECT_EQ(ReadHostFile(InstallPath("Held.exe")), "held copy");
    EXPECT_EQ(ReadHostFile(prefix_.Host(GetProgramFilesFolder() + "\\Evil.exe")), "untouched");
    EXPECT_TRUE(panel.CallsOf(RecordingPanel::Kind::UpdateSucceeded).empty());
  }
}

}  // namespace
}  // namespace hovane
