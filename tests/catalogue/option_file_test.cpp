#include "catalogue/option_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/locations.h"
#include "fixtures/temp_prefix.h"
#include "platform/files/files.h"
#include "platform/shell/shell.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;

class OptionFile : public testing::Test {
 protected:
  void TearDown() override {
    platform::SetOsVersion(platform::OsVersion{});
    ReloadOsVersionForTesting();
  }
  std::string DataFolder() const {
    return *platform::GetShellFolder(platform::ShellFolder::ApplicationData) + "\\Hovane";
  }
  test::TempPrefix prefix;
};

TEST_F(OptionFile, ConstructionAddressesTheDnFileAndTouchesNothing) {
  COptionFile file;
  EXPECT_EQ(file.m_strDataFolder, DataFolder());
  EXPECT_EQ(file.m_strOptionPath, DataFolder() + "\\HovaneDnVersion.ini");
  EXPECT_EQ(file.m_strLegacyPath, "C:\\Program Files\\Hovane\\HovaneDnVersion.ini");
  EXPECT_EQ(file.m_strVersionUrl, "");
  EXPECT_FALSE(fs::exists(prefix.Host(DataFolder())));
}

TEST_F(OptionFile, TheUrlsLastComponentChoosesTheFile) {
  struct Case {
    const char* url;
    const char* file;
  };
  const Case cases[] = {
      {"http://h/version/dn_version.html", "HovaneDnVersion.ini"},
      {"http://h/version/up_version.html", "HovaneUpVersion.ini"},
      {"http://h/version/version.html", "HovaneVersion.ini"},
      {"http://h/version/DN_VERSION.HTML", "HovaneVersion.ini"},
      {"http://h/version/dn_version.html?x=1", "HovaneVersion.ini"},
      {"dn_version.html", "HovaneDnVersion.ini"},
      {"", "HovaneVersion.ini"},
  };
  COptionFile file;
  for (const Case& c : cases) {
    file.SelectVersionFile(c.url);
    EXPECT_EQ(file.m_strVersionUrl, c.url);
    EXPECT_EQ(file.m_strOptionPath, DataFolder() + "\\" + c.file) << c.url;
    EXPECT_EQ(file.m_strLegacyPath, std::string("C:\\Program Files\\Hovane\\") + c.file);
  }
}

TEST_F(OptionFile, ValuesAreWrittenCreatingTheFolderAndReadBackCut) {
  COptionFile file;
  file.SelectVersionFile("http://h/version.html");
  EXPECT_EQ(file.VersionFileExists(), 0);
  EXPECT_EQ(file.GetOptionValue("File1", "FileName"), "");

  file.SetOptionValue("File1", "FileName", "HoVane.exe");
  file.SetOptionValue("File1", "Version", std::string(600, '7'));
  EXPECT_EQ(file.VersionFileExists(), 1);
  EXPECT_EQ(file.m_bFileExists, 1);
  EXPECT_EQ(file.GetOptionValue("file1", "FILENAME"), "HoVane.exe");
  EXPECT_EQ(file.GetOptionValue("File1", "Version"), std::string(511, '7'));
  EXPECT_EQ(test::ReadHostFile(prefix.Host(file.m_strOptionPath)),
            "[File1]\r\nFileName=HoVane.exe\r\nVersion=" + std::string(600, '7') + "\r\n");
}

TEST_F(OptionFile, ABatchIsWrittenOnceAndReadThroughMeanwhile) {
  COptionFile file;
  file.SelectVersionFile("http://h/up_version.html");
  file.BeginBatch();
  for (int k = 1; k <= 1000; ++k) file.SetOptionValue("File" + std::to_string(k), "Version", "0,0,0,0");
  EXPECT_EQ(file.GetOptionValue("File1000", "Version"), "0,0,0,0");
  EXPECT_EQ(file.VersionFileExists(), 0);
  EXPECT_TRUE(file.EndBatch());
  EXPECT_EQ(file.VersionFileExists(), 1);
  EXPECT_EQ(file.GetOptionValue("File1000", "Version"), "0,0,0,0");
}

TEST_F(OptionFile, AFolderOfTheFilesNameCountsAsExisting) {
  COptionFile file;
  fs::create_directories(prefix.Host(file.m_strDataFolder) + "/HovaneDnVersion.ini");
  EXPECT_EQ(file.VersionFileExists(), 1);
}

TEST_F(OptionFile, TheEarlierCopyInTheInstallFolderIsRemoved) {
  COptionFile file;
  file.SelectVersionFile("http://h/version.html");
  file.RemoveLegacyVersionFile();  // nothing there: nothing happens
  EXPECT_FALSE(fs::exists(prefix.Host(file.m_strDataFolder)));

  test::WriteHostFile(prefix.Host(file.m_strLegacyPath), "[File1]\r\n");
  file.RemoveLegacyVersionFile();
  EXPECT_FALSE(platform::FindExact(file.m_strLegacyPath));
  EXPECT_TRUE(fs::is_directory(prefix.Host(file.m_strDataFolder)));
}

TEST_F(OptionFile, OnAnOldSystemTheVersionFileIsNotItsOwnEarlierCopy) {
  platform::SetOsVersion(platform::OsVersion{1, 4, 10});
  ReloadOsVersionForTesting();
  COptionFile file;
  file.SelectVersionFile("http://h/version.html");
  EXPECT_EQ(file.m_strDataFolder, GetInstallFolder());
  EXPECT_TRUE(file.LegacyPathIsOptionPath());
  file.SetOptionValue("File1", "Version", "1");
  file.RemoveLegacyVersionFile();
  EXPECT_EQ(file.GetOptionValue("File1", "Version"), "1");
}

}  // namespace
}  // namespace hovane
