// The uninstall entry in the machine hive of a temporary prefix: its five
// values in order and in the system code page, written again, and not
// written at all where the parent key or the rights are missing.
#include "install/uninstall_entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/temp_prefix.h"
#include "platform/codepage/codepage.h"
#include "platform/registry/registry.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;
using platform::RegAccess;
using platform::RegistryHive;
using platform::RegistryKey;
using platform::RegistryValue;
using platform::RegStatus;
using platform::RegType;
using test::TempPrefix;
using ::testing::ElementsAre;

constexpr char kEntryPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hovane";

// A REG_SZ value as the system writes it: the text and its terminating zero.
RegistryValue SzValue(const char* name, const std::string& text) {
  return {name, RegType::String, text + '\0'};
}

MATCHER_P(IsValue, expected, "") {
  return arg.name == expected.name && arg.type == expected.type && arg.data == expected.data;
}

class UninstallEntryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::SetSystemCodePage(949)); }

  // The entry's values, or nullopt when there is no entry.
  static std::optional<std::vector<RegistryValue>> Entry() {
    RegistryKey key;
    if (platform::OpenRegistryKey(RegistryHive::LocalMachine, kEntryPath, RegAccess::Read, &key) !=
        RegStatus::Ok)
      return std::nullopt;
    std::vector<RegistryValue> values;
    EXPECT_EQ(key.EnumerateValues(&values), RegStatus::Ok);
    return values;
  }

  TempPrefix prefix_;
};

TEST_F(UninstallEntryTest, WritesTheFiveValuesInOrder) {
  WriteUninstallEntry();
  auto values = Entry();
  ASSERT_TRUE(values.has_value());
  const std::string displayName = "\xC8\xA3\xB9\xD9\xB3\xD7 ActiveX";  // 호바네 in code page 949
  ASSERT_EQ(platform::Utf8ToNarrow("호바네 ActiveX"), displayName);
  EXPECT_THAT(
      *values,
      ElementsAre(IsValue(SzValue("DisplayName", displayName)),
                  IsValue(SzValue("UninstallString", "C:\\Program Files\\Hovane\\UnInstaller.exe")),
                  IsValue(SzValue("DisplayIcon", "C:\\Program Files\\Hovane\\HoVane.ico")),
                  IsValue(SzValue("HelpLink", "http://www.hovane.net/customer/customer_faq.jsp")),
                  IsValue(SzValue("Publisher", "VARNO.Co.,Ltd"))));

  // Written again: still one key with the same five values.
  WriteUninstallEntry();
  EXPECT_EQ(Entry()->size(), 5u);
  RegistryKey parent;
  ASSERT_EQ(platform::OpenRegistryKey(RegistryHive::LocalMachine, kUninstallParentKey,
                                      RegAccess::Read, &parent),
            RegStatus::Ok);
  std::vector<std::string> subkeys;
  ASSERT_EQ(parent.EnumerateSubkeys(&subkeys), RegStatus::Ok);
  EXPECT_THAT(subkeys, ElementsAre("Hovane"));
}

TEST_F(UninstallEntryTest, ReplacesItsOwnValuesAndKeepsOthers) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Root(RegistryHive::LocalMachine).Create(kEntryPath, RegAccess::All, &key),
            RegStatus::Ok);
  ASSERT_EQ(key.SetString("Comments", "kept"), RegStatus::Ok);
  ASSERT_EQ(key.SetDword("publisher", 7), RegStatus::Ok);
  WriteUninstallEntry();
  auto values = Entry();
  ASSERT_TRUE(values.has_value());
  std::vector<std::string> names;
  for (const RegistryValue& value : *values) names.push_back(value.name);
  EXPECT_THAT(names, ElementsAre("Comments", "publisher", "DisplayName", "UninstallString",
                                 "DisplayIcon", "HelpLink"));
  EXPECT_THAT((*values)[1], IsValue(SzValue("publisher", "VARNO.Co.,Ltd")));
}

TEST_F(UninstallEntryTest, WithoutItsParentKeyNothingIsWritten) {
  ASSERT_EQ(RegistryKey::Root(RegistryHive::LocalMachine)
                .DeleteTree("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
            RegStatus::Ok);
  WriteUninstallEntry();
  RegistryKey key;
  EXPECT_EQ(platform::OpenRegistryKey(RegistryHive::LocalMachine,
                                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                                      RegAccess::Read, &key),
            RegStatus::NotFound);
}

TEST_F(UninstallEntryTest, AUserWithoutRightsToTheMachineHiveWritesNothingSilently) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a helper as another user (setpriv)";
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is missing";

  // The machine hive exists, holds a marker, and belongs to root.
  RegistryKey marker;
  ASSERT_EQ(RegistryKey::Root(RegistryHive::LocalMachine)
                .Create("SOFTWARE\\HovaneTests", RegAccess::All, &marker),
            RegStatus::Ok);
  ASSERT_EQ(marker.SetString("Marker", "readable"), RegStatus::Ok);
  const std::string hive = prefix_.root() + "/registry/machine.db";
  const std::string before = test::ReadHostFile(hive);

  // The helper and the platform library, copied where any user may run
  // them (the build folder may not be reachable for user 65534); folders
  // readable by all, the hive writable by root only.
  const std::string bin = prefix_.root() + "/bin";
  fs::create_directories(bin);
  fs::copy_file(UNINSTALL_HELPER, bin + "/uninstall_helper");
  fs::copy_file(PLATFORM_LIBRARY, bin + "/" + fs::path(PLATFORM_LIBRARY).filename().string());
  for (const auto& entry : fs::recursive_directory_iterator(prefix_.root())) {
    if (entry.is_directory()) fs::permissions(entry.path(), fs::perms(0755));
  }
  fs::permissions(prefix_.root(), fs::perms(0755));
  fs::permissions(bin + "/uninstall_helper", fs::perms(0755));
  fs::permissions(hive, fs::perms(0644));

  test::ChildEnvironment env({"LD_LIBRARY_PATH=" + bin});

  test::ChildProcess helper("/usr/bin/setpriv",
                            {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--",
                             bin + "/uninstall_helper", prefix_.root()},
                            env.envp(), true);
  ASSERT_TRUE(helper.Started());
  const std::string output = helper.ReadAll();
  const int status = helper.Wait();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  // It could read the hive, could not open it for writing, and was not told.
  EXPECT_EQ(output, "read 0 readable\nwrite 5\ndone\n");
  EXPECT_FALSE(Entry().has_value());
  EXPECT_EQ(test::ReadHostFile(hive), before);
}

}  // namespace
}  // namespace hovane
