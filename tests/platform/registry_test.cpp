// Registry service on a temporary prefix: keys and values of both types,
// names without regard to case, enumeration, deletion, read-only handles,
// a damaged hive, two processes writing at once, and a process killed in
// the middle of a change.
#include "platform/registry/registry.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/text.h"
#include "platform/codepage/codepage.h"
#include "platform/prefix/prefix.h"

extern char** environ;

namespace hovane::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadHostFile;
using test::TempPrefix;
using test::WriteHostFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using test::Narrow;

std::vector<std::string> ValueNames(const RegistryKey& key) {
  std::vector<RegistryValue> values;
  EXPECT_EQ(key.EnumerateValues(&values), RegStatus::Ok);
  std::vector<std::string> names;
  for (const RegistryValue& value : values) names.push_back(value.name);
  return names;
}

std::vector<std::string> Subkeys(const RegistryKey& key) {
  std::vector<std::string> names;
  EXPECT_EQ(key.EnumerateSubkeys(&names), RegStatus::Ok);
  return names;
}

// A registry_helper process whose standard output is read line by line;
// killed and waited for at the end of its scope.
class Helper : public test::ChildProcess {
 public:
  explicit Helper(const std::vector<std::string>& args)
      : ChildProcess(REGISTRY_HELPER, WithProgram(args), environ, /*keepStderr=*/true) {}

 private:
  static std::vector<std::string> WithProgram(const std::vector<std::string>& args) {
    std::vector<std::string> argv{REGISTRY_HELPER};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
};

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetSystemCodePage(949)); }

  RegistryKey CreateKey(RegistryHive hive, std::string_view path) {
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Root(hive).Create(path, RegAccess::All, &key), RegStatus::Ok) << path;
    return key;
  }

  std::string HivePath() const { return prefix_.root() + "/registry/machine.db"; }

  TempPrefix prefix_;
};

TEST_F(RegistryTest, ValuesRoundTripWithTheirExactBytes) {
  RegistryKey key = CreateKey(RegistryHive::LocalMachine, "SOFTWARE\\Hovane\\Test");
  const std::string korean = Narrow("호바네 ActiveX");
  struct Case {
    const char* name;
    RegType type;
    std::string written;  // what Set* was given
    std::string stored;   // the bytes that come back
  };
  const Case cases[] = {
      {"Ascii", RegType::String, "VARNO.Co.,Ltd", std::string("VARNO.Co.,Ltd\0", 14)},
      {"Korean", RegType::String, korean, korean + '\0'},
      {"Empty", RegType::String, "", std::string("\0", 1)},
      {"", RegType::String, "default value", std::string("default value\0", 14)},
      {"Zero", RegType::Dword, "0", std::string("\0\0\0\0", 4)},
      {"Enabled", RegType::Dword, "1", std::string("\1\0\0\0", 4)},
      {"Max", RegType::Dword, "4294967295", std::string("\xFF\xFF\xFF\xFF", 4)},
      {"Raw", RegType::Binary, std::string("\0a\0b", 4), std::string("\0a\0b", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.type == RegType::String)
      ASSERT_EQ(key.SetString(c.name, c.written), RegStatus::Ok);
    else if (c.type == RegType::Dword)
      ASSERT_EQ(key.SetDword(c.name, static_cast<std::uint32_t>(std::stoul(c.written))),
                RegStatus::Ok);
    else
      ASSERT_EQ(key.SetValue(c.name, c.type, c.written), RegStatus::Ok);
  }
  // Read back through a fresh handle, by names in another letter case.
  RegistryKey reopened;
  ASSERT_EQ(OpenRegistryKey(RegistryHive::LocalMachine, "software\\HOVANE\\test", RegAccess::Read,
                            &reopened),
            RegStatus::Ok);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegistryValue value;
    ASSERT_EQ(reopened.QueryValue(UpperCase(c.name), &value), RegStatus::Ok);
    EXPECT_EQ(value.name, c.name);
    EXPECT_EQ(value.type, c.type);
    EXPECT_EQ(value.data, c.stored);
  }
  std::string text;
  EXPECT_EQ(reopened.QueryString("Korean", &text), RegStatus::Ok);
  EXPECT_EQ(text, korean);
  std::uint32_t number = 0;
  EXPECT_EQ(reopened.QueryDword("max", &number), RegStatus::Ok);
  EXPECT_EQ(number, 0xFFFFFFFFu);
  EXPECT_EQ(reopened.QueryDword("Ascii", &number), RegStatus::WrongType);
  EXPECT_EQ(reopened.QueryString("Enabled", &text), RegStatus::WrongType);
  EXPECT_EQ(reopened.QueryValue("Missing", nullptr), RegStatus::InvalidParameter);
  RegistryValue missing;
  EXPECT_EQ(reopened.QueryValue("Missing", &missing), RegStatus::NotFound);
}

TEST_F(RegistryTest, ValuesKeepTheOrderOfTheirFirstWrite) {
  RegistryKey key = CreateKey(RegistryHive::CurrentUser, "Software\\Order");
  for (const char* name : {"Zeta", "alpha", "Mid"})
    ASSERT_EQ(key.SetString(name, "1"), RegStatus::Ok);
  // Rewriting keeps the place and the first spelling; a deleted value that
  // comes back goes to the end.
  ASSERT_EQ(key.SetDword("ZETA", 7), RegStatus::Ok);
  ASSERT_EQ(key.DeleteValue("ALPHA"), RegStatus::Ok);
  ASSERT_EQ(key.SetString("Alpha", "2"), RegStatus::Ok);
  EXPECT_THAT(ValueNames(key), ElementsAre("Zeta", "Mid", "Alpha"));
  std::uint32_t number = 0;
  EXPECT_EQ(key.QueryDword("zeta", &number), RegStatus::Ok);
  EXPECT_EQ(number, 7u);
  EXPECT_EQ(key.DeleteValue("alpha"), RegStatus::Ok);
  EXPECT_EQ(key.DeleteValue("alpha"), RegStatus::NotFound);
}

TEST_F(RegistryTest, KeyNamesIgnoreCaseButNotTheTrailBytesOfDoubleByteCharacters) {
  // 0x81 0x41 and 0x81 0x61 are two different Hangul syllables whose trail
  // bytes happen to be 'A' and 'a'.
  const std::string upperTrail = Narrow("갂");
  const std::string lowerTrail = Narrow("갵");
  ASSERT_EQ(upperTrail, "\x81\x41");
  ASSERT_EQ(lowerTrail, "\x81\x61");

  RegistryKey root = RegistryKey::Root(RegistryHive::LocalMachine);
  bool created = false;
  RegistryKey key;
  ASSERT_EQ(root.Create("SOFTWARE\\Case\\" + upperTrail + "Name", RegAccess::All, &key, &created),
            RegStatus::Ok);
  EXPECT_TRUE(created);
  ASSERT_EQ(root.Create("software\\CASE\\" + upperTrail + "NAME", RegAccess::All, &key, &created),
            RegStatus::Ok);
  EXPECT_FALSE(created);
  ASSERT_EQ(root.Create("SOFTWARE\\Case\\" + lowerTrail + "Name", RegAccess::All, &key, &created),
            RegStatus::Ok);
  EXPECT_TRUE(created);
  RegistryKey parent;
  ASSERT_EQ(root.Open("Software\\Case\\", RegAccess::Read, &parent), RegStatus::Ok);
  EXPECT_THAT(Subkeys(parent), ElementsAre(upperTrail + "Name", lowerTrail + "Name"));
}

TEST_F(RegistryTest, AFreshHiveHasTheKeysEveryMachineHas) {
  RegistryKey key;
  EXPECT_EQ(OpenRegistryKey(RegistryHive::LocalMachine,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                            RegAccess::All, &key),
            RegStatus::Ok);
  EXPECT_EQ(OpenRegistryKey(RegistryHive::LocalMachine, "SOFTWARE\\Classes", RegAccess::Read, &key),
            RegStatus::Ok);
  EXPECT_EQ(OpenRegistryKey(RegistryHive::CurrentUser, "Software\\Classes", RegAccess::Read, &key),
            RegStatus::Ok);
  EXPECT_EQ(
      OpenRegistryKey(RegistryHive::CurrentUser, "SOFTWARE\\Microsoft", RegAccess::Read, &key),
      RegStatus::NotFound);
  // The two hives are separate files.
  EXPECT_TRUE(fs::exists(HivePath()));
  EXPECT_TRUE(fs::exists(prefix_.root() + "/registry/user-" + PrefixUserName() + ".db"));
}

TEST_F(RegistryTest, MalformedPathsAndNamesAreRefused) {
  RegistryKey root = RegistryKey::Root(RegistryHive::LocalMachine);
  const std::string tooLong(256, 'k');
  for (const std::string& path : {std::string("\\SOFTWARE"), std::string("SOFTWARE\\\\Classes"),
                                  std::string("SOFTWARE\\\\"), "SOFTWARE\\" + tooLong}) {
    SCOPED_TRACE(path);
    RegistryKey key;
    EXPECT_EQ(root.Create(path, RegAccess::All, &key), RegStatus::InvalidParameter);
    EXPECT_EQ(root.Open(path, RegAccess::Read, &key), RegStatus::InvalidParameter);
    EXPECT_FALSE(key.IsOpen());
  }
  RegistryKey key;
  EXPECT_EQ(root.Create("SOFTWARE\\" + std::string(255, 'k'), RegAccess::All, &key), RegStatus::Ok);
  EXPECT_EQ(key.SetString(std::string(16384, 'v'), "x"), RegStatus::InvalidParameter);
  EXPECT_EQ(root.Open("SOFTWARE", static_cast<RegAccess>(0), &key), RegStatus::InvalidParameter);
  EXPECT_EQ(RegistryKey().SetString("a", "b"), RegStatus::InvalidHandle);
}

TEST_F(RegistryTest, DeletingKeysAndTrees) {
  RegistryKey app = CreateKey(RegistryHive::LocalMachine, "SOFTWARE\\App");
  RegistryKey child;
  ASSERT_EQ(app.Create("Child\\Grandchild", RegAccess::All, &child), RegStatus::Ok);
  ASSERT_EQ(child.SetString("", "deep"), RegStatus::Ok);
  ASSERT_EQ(app.SetString("Kept", "value"), RegStatus::Ok);

  // A key with subkeys is not deleted alone.
  EXPECT_EQ(app.DeleteKey("Child"), RegStatus::AccessDenied);
  EXPECT_EQ(app.DeleteKey("Child\\Grandchild"), RegStatus::Ok);
  EXPECT_EQ(child.SetString("", "again"), RegStatus::KeyDeleted);
  EXPECT_EQ(app.DeleteKey("Child\\Grandchild"), RegStatus::NotFound);

  ASSERT_EQ(app.Create("Child\\Other\\Deeper", RegAccess::All, &child), RegStatus::Ok);
  EXPECT_EQ(app.DeleteTree("CHILD"), RegStatus::Ok);
  EXPECT_THAT(Subkeys(app), IsEmpty());
  EXPECT_THAT(ValueNames(app), ElementsAre("Kept"));

  // "" empties the key and keeps it.
  ASSERT_EQ(app.Create("A\\B", RegAccess::All, &child), RegStatus::Ok);
  EXPECT_EQ(app.DeleteTree(""), RegStatus::Ok);
  EXPECT_THAT(Subkeys(app), IsEmpty());
  EXPECT_THAT(ValueNames(app), IsEmpty());
  EXPECT_EQ(app.SetString("Back", "1"), RegStatus::Ok);

  EXPECT_EQ(RegistryKey::Root(RegistryHive::LocalMachine).DeleteKey(""), RegStatus::AccessDenied);
}

TEST_F(RegistryTest, AReadHandleCannotWrite) {
  CreateKey(RegistryHive::LocalMachine, "SOFTWARE\\ReadOnly");
  RegistryKey key;
  ASSERT_EQ(
      OpenRegistryKey(RegistryHive::LocalMachine, "SOFTWARE\\ReadOnly", RegAccess::Read, &key),
      RegStatus::Ok);
  RegistryKey child;
  EXPECT_EQ(key.SetString("a", "b"), RegStatus::AccessDenied);
  EXPECT_EQ(key.Create("Child", RegAccess::Read, &child), RegStatus::AccessDenied);
  EXPECT_EQ(key.DeleteTree(""), RegStatus::AccessDenied);
  EXPECT_THAT(ValueNames(key), IsEmpty());
}

TEST_F(RegistryTest, AFileThatIsNotAHiveIsNeverWritten) {
  const std::string garbage = "this is not a hive, and it stays as it is\n";
  WriteHostFile(HivePath(), garbage);
  RegStatus status = RegStatus::Ok;
  RegistryKey root = RegistryKey::Root(RegistryHive::LocalMachine, &status);
  EXPECT_FALSE(root.IsOpen());
  EXPECT_EQ(status, RegStatus::BadHive);
  RegistryKey key;
  EXPECT_EQ(OpenRegistryKey(RegistryHive::LocalMachine, "SOFTWARE", RegAccess::Read, &key),
            RegStatus::BadHive);
  EXPECT_EQ(ReadHostFile(HivePath()), garbage);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kCount = 150;
  Helper first({prefix_.root(), "write", "first", std::to_string(kCount)});
  Helper second({prefix_.root(), "write", "second", std::to_string(kCount)});
  ASSERT_TRUE(first.Started());
  ASSERT_TRUE(second.Started());
  // This process writes at the same time.
  RegistryKey mine = CreateKey(RegistryHive::LocalMachine, "SOFTWARE\\Mine");
  for (int i = 0; i < kCount; ++i)
    ASSERT_EQ(mine.SetDword("n" + std::to_string(i), static_cast<std::uint32_t>(i)), RegStatus::Ok);

  for (Helper* helper : {&first, &second}) {
    const auto failure = helper->ReadLine();
    const int status = helper->Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << failure.value_or("");
  }
  RegistryKey shared;
  ASSERT_EQ(
      OpenRegistryKey(RegistryHive::LocalMachine, "SOFTWARE\\Shared", RegAccess::Read, &shared),
      RegStatus::Ok);
  std::vector<RegistryValue> values;
  ASSERT_EQ(shared.EnumerateValues(&values), RegStatus::Ok);
  EXPECT_EQ(values.size(), 2u * kCount);
  for (const char* tag : {"first", "second"}) {
    RegistryKey children;
    ASSERT_EQ(shared.Open(tag, RegAccess::Read, &children), RegStatus::Ok);
    EXPECT_EQ(Subkeys(children).size(), static_cast<std::size_t>(kCount)) << tag;
    std::uint32_t last = 0;
    EXPECT_EQ(shared.QueryDword(std::string(tag) + "-" + std::to_string(kCount - 1), &last),
              RegStatus::Ok);
    EXPECT_EQ(last, static_cast<std::uint32_t>(kCount - 1));
  }
  EXPECT_EQ(ValueNames(mine).size(), static_cast<std::size_t>(kCount));
}

TEST_F(RegistryTest, AProcessKilledInTheMiddleOfAChangeChangesNothing) {
  // The writer creates 31-key chains, one chain per change, back to back.
  // It is killed the moment its rollback journal is seen, that is while a
  // change is under way; the next user of the hive must find every chain
  // whole or absent.
  const std::string journal = HivePath() + "-journal";
  long reported = -1;
  bool caughtMidChange = false;
  for (int attempt = 0; attempt < 50 && !caughtMidChange; ++attempt) {
    Helper writer({prefix_.root(), "chain"});
    ASSERT_TRUE(writer.Started());
    for (int i = 0; i < 3; ++i) {
      auto line = writer.ReadLine();
      ASSERT_TRUE(line.has_value());
      reported = std::max(reported, std::stol(*line));
    }
    struct stat st;
    for (long polls = 0; polls < 10'000'000; ++polls) {
      if (stat(journal.c_str(), &st) == 0) {
        kill(writer.pid(), SIGKILL);
        break;
      }
    }
    kill(writer.pid(), SIGKILL);
    writer.Wait();
    caughtMidChange = stat(journal.c_str(), &st) == 0;
    while (auto line = writer.ReadLine()) reported = std::max(reported, std::stol(*line));
  }
  ASSERT_TRUE(caughtMidChange) << "the writer was never caught with its journal";

  RegistryKey chains;
  ASSERT_EQ(
      OpenRegistryKey(RegistryHive::LocalMachine, "SOFTWARE\\Chains", RegAccess::Read, &chains),
      RegStatus::Ok);
  std::vector<std::string> present = Subkeys(chains);
  ASSERT_FALSE(present.empty());
  // Every chain that was reported written is there, and every chain that is
  // there is whole.
  for (long i = 0; i <= reported; ++i) {
    RegistryKey key;
    EXPECT_EQ(chains.Open(std::to_string(i), RegAccess::Read, &key), RegStatus::Ok) << i;
  }
  for (const std::string& name : present) {
    std::string path = name;
    for (int depth = 1; depth <= 30; ++depth) path += "\\k" + std::to_string(depth);
    RegistryKey leaf;
    EXPECT_EQ(chains.Open(path, RegAccess::Read, &leaf), RegStatus::Ok) << name;
  }
  // The hive takes changes again, and the journal is gone with the first.
  RegistryKey after = CreateKey(RegistryHive::LocalMachine, "SOFTWARE\\After");
  EXPECT_EQ(after.SetString("ok", "1"), RegStatus::Ok);
  EXPECT_FALSE(fs::exists(journal));
}

}  // namespace
}  // namespace hovane::platform
