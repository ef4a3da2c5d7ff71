#include "platform/profile/profile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/temp_prefix.h"
#include "platform/codepage/codepage.h"

namespace hovane::platform {
namespace {

using test::ReadHostFile;
using test::TempPrefix;
using test::WriteHostFile;
namespace fs = std::filesystem;

constexpr const char* kFolder = "C:\\users\\x";
constexpr const char* kPath = "C:\\users\\x\\a.ini";

// A string literal with its NUL bytes.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetSystemCodePage(949));
    fs::create_directories(prefix_.Host(kFolder));
  }

  std::string HostFile() const { return prefix_.Host(kPath); }

  static std::string Read(std::string_view section, std::string_view key,
                          std::string_view defaultValue = "<default>",
                          std::size_t bufferSize = 1024) {
    return ReadProfileString(kPath, section, key, defaultValue, bufferSize);
  }

  TempPrefix prefix_;
};

struct EditCase {
  const char* name;
  std::optional<std::string> before;  // nullopt: no file
  std::vector<std::array<std::string, 3>> edits;
  std::string after;
};

TEST_F(ProfileTest, WritesGoldenLayout) {
  const std::vector<EditCase> cases = {
      {"new file: sections and keys in order of writing",
       std::nullopt,
       {{"Setup", "Version", "1"},
        {"Setup", "Path", "C:\\x"},
        {"Other", "K", "v"},
        {"SETUP", "Extra", "e"}},
       "[Setup]\r\nVersion=1\r\nPath=C:\\x\r\nExtra=e\r\n[Other]\r\nK=v\r\n"},
      {"value replaced in place, the line's spelling and other lines kept",
       "; head\n[Setup]\n  Version = 1  \nPath=a\n",
       {{"setup", "VERSION", "2"}},
       "; head\n[Setup]\n  Version = 2\nPath=a\n"},
      {"new key after the last key line, before trailing lines",
       "[A]\r\nk1=1\r\n; note\r\n\r\n[B]\r\nx=1\r\n",
       {{"A", "k2", "2"}, {"a", "k3", "3"}},
       "[A]\r\nk1=1\r\nk2=2\r\nk3=3\r\n; note\r\n\r\n[B]\r\nx=1\r\n"},
      {"new key in a section without keys goes after its header",
       "[A]\r\n\r\n[B]\r\n",
       {{"A", "k", "v"}},
       "[A]\r\nk=v\r\n\r\n[B]\r\n"},
      {"new section after a last line without break",
       "[A]\r\nk=1",
       {{"B", "k", "2"}},
       "[A]\r\nk=1\r\n[B]\r\nk=2\r\n"},
      {"new key after a last line without break",
       "[A]\r\nk=1",
       {{"A", "j", "2"}},
       "[A]\r\nk=1\r\nj=2\r\n"},
      {"header without break at the end", "[A]", {{"a", "k", "1"}}, "[A]\r\nk=1\r\n"},
      {"LF lines stay LF, new lines are CR LF",
       "[A]\nk=1\n",
       {{"A", "j", "2"}, {"A", "k", "3"}},
       "[A]\nk=3\nj=2\r\n"},
      {"keys before the first section belong to none",
       "k=1\r\n[A]\r\n",
       {{"A", "k", "2"}},
       "k=1\r\n[A]\r\nk=2\r\n"},
      {"the first section and key of a name are the ones edited",
       "[A]\r\nk=1\r\nK=2\r\n[B]\r\n[a]\r\nk=3\r\n",
       {{"A", "k", "9"}, {"A", "j", "8"}},
       "[A]\r\nk=9\r\nK=2\r\nj=8\r\n[B]\r\n[a]\r\nk=3\r\n"},
      {"names trimmed and written as first spelled, a set twice keeps one line",
       std::nullopt,
       {{" My Sect\t", " a ", "1"}, {"MY SECT", "A", "2"}, {"my sect", "b", " 3 "}},
       "[My Sect]\r\na=2\r\nb= 3 \r\n"},
      {"junk bytes kept as they are",
       Bytes("\0\xff[A]\r\n[A]\r\nk=\0v\r\n\r\n"),
       {{"A", "k", "w"}},
       Bytes("\0\xff[A]\r\n[A]\r\nk=w\r\n\r\n")},
  };
  for (bool batched : {false, true}) {
    for (const EditCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (batched ? " (batch)" : " (one by one)"));
      fs::remove(HostFile());
      if (c.before) WriteHostFile(HostFile(), *c.before);
      if (batched) {
        ProfileWriteBatch batch(kPath);
        for (const auto& [section, key, value] : c.edits) batch.Set(section, key, value);
        EXPECT_TRUE(batch.Commit());
      } else {
        for (const auto& [section, key, value] : c.edits)
          EXPECT_TRUE(WriteProfileString(kPath, section, key, value));
      }
      EXPECT_EQ(ReadHostFile(HostFile()), c.after);
    }
  }
}

TEST_F(ProfileTest, ReadsValuesByTheRules) {
  WriteHostFile(HostFile(),
                "Before=0\r\n"
                "[Setup]\r\n"
                "Version=1,0,0,2\r\n"
                "  Spaced Key \t=\t spaced value  \r\n"
                "url=http://h/a?b=c\r\n"
                "no equals sign\r\n"
                "Empty=\r\n"
                "Quoted=\"q v\"\r\n"
                "Single='s'\r\n"
                "Half=\"h\r\n"
                "[ Other ]\n"
                "k=lf\n"
                "[setup]\r\n"
                "Late=x\r\n");
  struct Case {
    std::string section, key, defaultValue;
    std::size_t bufferSize;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"Setup", "Version", "-", 64, "1,0,0,2"},
      {"SETUP", "version", "-", 64, "1,0,0,2"},
      {" setup\t", " VERSION ", "-", 64, "1,0,0,2"},
      {"Setup", "spaced key", "-", 64, "spaced value"},
      {"Setup", "url", "-", 64, "http://h/a?b=c"},
      {"Setup", "no equals sign", "-", 64, "-"},
      {"Setup", "Empty", "-", 64, ""},
      {"Setup", "Quoted", "-", 64, "q v"},
      {"Setup", "Single", "-", 64, "s"},
      {"Setup", "Half", "-", 64, "\"h"},
      {"other", "K", "-", 64, "lf"},
      {"Setup", "Late", "-", 64, "-"},
      {"", "Before", "-", 64, "-"},
      {"Missing", "Version", "-", 64, "-"},
      {"Setup", "Missing", "-", 64, "-"},
      {"Setup", "Version", "-", 4, "1,0"},
      {"Setup", "Version", "-", 1, ""},
      {"Setup", "Version", "-", 0, ""},
      {"Setup", "Missing", "default", 4, "def"},
      {Bytes("Setup\0junk"), Bytes("Version\0junk"), "-", 64, "1,0,0,2"},
      {"Setup", "Missing", Bytes("ab\0cd"), 64, "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("[" + c.section + "] " + c.key + " size " + std::to_string(c.bufferSize));
    EXPECT_EQ(Read(c.section, c.key, c.defaultValue, c.bufferSize), c.expected);
  }
  for (const char* path : {"C:\\users\\x\\missing.ini", "C:\\nowhere\\a.ini", "Q:\\a.ini", "a.ini"})
    EXPECT_EQ(ReadProfileString(path, "Setup", "Version", "dflt", 64), "dflt") << path;
}

// A character of code page 949 whose trail byte is an ASCII lower-case
// letter: folding that byte would turn it into another character.
std::string KoreanWithLetterTrail() {
  for (char32_t c = 0xAC00; c <= 0xD7A3; ++c) {
    const std::string utf8 = {static_cast<char>(0xE0 | (c >> 12)),
                              static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                              static_cast<char>(0x80 | (c & 0x3F))};
    auto narrow = Utf8ToNarrow(utf8);
    if (narrow && narrow->size() == 2 && (*narrow)[1] >= 'a' && (*narrow)[1] <= 'z') return *narrow;
  }
  return {};
}

TEST_F(ProfileTest, MatchesKoreanNamesWithoutFoldingTrailBytes) {
  const std::string ch = KoreanWithLetterTrail();
  ASSERT_EQ(ch.size(), 2u);
  EXPECT_EQ(UpperCase(ch), ch);
  std::string twin = ch;
  twin[1] = static_cast<char>(twin[1] - 0x20);  // the "upper-case" trail byte
  ASSERT_TRUE(NarrowToUtf8(twin).has_value()) << "the twin is a character of its own";

  const std::string before = "[" + ch + "a]\r\nk=" + ch + "\r\n[" + twin + "a]\r\nk=twin\r\n";
  WriteHostFile(HostFile(), before);
  EXPECT_EQ(Read(ch + "A", "K"), ch);
  EXPECT_EQ(Read(ch + "a", "k"), ch);
  EXPECT_EQ(Read(twin + "A", "k"), "twin");

  ASSERT_TRUE(WriteProfileString(kPath, ch + "A", "n", "1"));
  ASSERT_TRUE(WriteProfileString(kPath, twin + "a", "n", "2"));
  EXPECT_EQ(ReadHostFile(HostFile()),
            "[" + ch + "a]\r\nk=" + ch + "\r\nn=1\r\n[" + twin + "a]\r\nk=twin\r\nn=2\r\n");
}

TEST_F(ProfileTest, RefusesNamesAndValuesThatWouldNotReadBack) {
  const std::string before = "[A]\r\nk=1\r\n";
  WriteHostFile(HostFile(), before);
  const std::vector<std::array<std::string, 3>> refused = {
      {"a]b", "k", "v"},      {"a\r\nb", "k", "v"}, {"a\nb", "k", "v"}, {"\xb0", "k", "v"},
      {"A", "k=x", "v"},      {"A", "[k", "v"},     {"A", " [k", "v"},  {"A", "k\r", "v"},
      {"A", "k", "v\r\n[B]"}, {"A", "k", "v\nw"},
  };
  for (const auto& [section, key, value] : refused) {
    SCOPED_TRACE(section + "/" + key + "/" + value);
    EXPECT_FALSE(WriteProfileString(kPath, section, key, value));
    EXPECT_EQ(ReadHostFile(HostFile()), before);
  }

  // A batch writes what it can and reports the refused edit.
  {
    ProfileWriteBatch batch(kPath);
    batch.Set("A", "k=x", "v");
    batch.Set("A", "j", "2");
    EXPECT_FALSE(batch.Commit());
    EXPECT_TRUE(batch.Commit()) << "a refusal is reported once";
  }
  EXPECT_EQ(ReadHostFile(HostFile()), before + "j=2\r\n");

  // Text is cut at its first NUL, as the callers' C strings are.
  fs::remove(HostFile());
  ASSERT_TRUE(WriteProfileString(kPath, Bytes("S\0]"), Bytes("k\0="), Bytes("v\0\r\n")));
  EXPECT_EQ(ReadHostFile(HostFile()), "[S]\r\nk=v\r\n");
}

TEST_F(ProfileTest, WriteFailsWithoutItsFolderOrRights) {
  EXPECT_FALSE(WriteProfileString("C:\\users\\x\\missing\\a.ini", "A", "k", "v"));
  EXPECT_FALSE(fs::exists(prefix_.Host("C:\\users\\x\\missing")));
  {
    ProfileWriteBatch batch("C:\\users\\x\\missing\\a.ini");
    batch.Set("A", "k", "v");
    EXPECT_FALSE(batch.Commit());
  }
  EXPECT_FALSE(fs::exists(prefix_.Host("C:\\users\\x\\missing")));
  EXPECT_FALSE(WriteProfileString("Q:\\a.ini", "A", "k", "v"));
  EXPECT_FALSE(WriteProfileString(kFolder, "A", "k", "v")) << "a folder is not a file";

  WriteHostFile(HostFile(), "[A]\r\nk=1\r\n");
  fs::permissions(HostFile(), fs::perms::owner_read);
  EXPECT_FALSE(WriteProfileString(kPath, "A", "k", "2"));
  fs::permissions(HostFile(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_TRUE(WriteProfileString(kPath, "A", "k", "2"));
  EXPECT_EQ(fs::status(HostFile()).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
      << "the replace keeps the file's permission bits";
  EXPECT_EQ(Read("A", "k"), "2");
}

TEST_F(ProfileTest, JunkFilesReadWithoutHarmAndKeepTheirBytes) {
  std::mt19937 random(20240501);
  std::string binary(1 << 16, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  const std::string bigValue(4 << 20, 'x');
  struct Case {
    const char* name;
    std::string content;
    std::string key;       // in section A
    std::string expected;  // what a read of it gives
  };
  const std::vector<Case> cases = {
      {"NUL bytes", Bytes("[A]\r\nk=a\0b\r\n\0\0junk\r\n[B]\r\nj=1\r\n"), "k", Bytes("a\0b")},
      {"binary junk", binary, "not there", "<default>"},
      {"a 4 MiB line", "[A]\r\nbig=" + bigValue + "\r\nk=1\r\n", "big", bigValue},
      {"one 4 MiB line without a break", "[A" + bigValue, "k", "<default>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteHostFile(HostFile(), c.content);
    EXPECT_EQ(Read("A", c.key, "<default>", c.expected.size() + 1), c.expected);
    EXPECT_EQ(Read("A", c.key, "<default>", 4), c.expected.substr(0, 3));
    ASSERT_TRUE(WriteProfileString(kPath, "New Section", "k", "v"));
    const std::string separator = c.content.back() == '\n' ? "" : "\r\n";
    EXPECT_EQ(ReadHostFile(HostFile()), c.content + separator + "[New Section]\r\nk=v\r\n");
    EXPECT_EQ(Read("new section", "K"), "v");
  }
}

TEST_F(ProfileTest, OversizedFileReadsAsDefaultAndIsNeverWritten) {
  const std::string head = "[A]\r\nk=1\r\n";
  WriteHostFile(HostFile(), head);
  fs::resize_file(HostFile(), kMaxProfileFileBytes + 1);
  struct stat before {};
  ASSERT_EQ(stat(HostFile().c_str(), &before), 0);

  EXPECT_EQ(Read("A", "k"), "<default>");
  EXPECT_FALSE(WriteProfileString(kPath, "A", "k", "2"));
  {
    ProfileWriteBatch batch(kPath);
    EXPECT_EQ(batch.Get("A", "k", "<default>", 64), "<default>");
    batch.Set("A", "j", "2");
    EXPECT_EQ(batch.Get("A", "j", "<default>", 64), "2");
    EXPECT_FALSE(batch.Commit());
  }
  struct stat after {};
  ASSERT_EQ(stat(HostFile().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

  // A file just under the limit reads, but a write that would take it over
  // the limit is refused.
  fs::resize_file(HostFile(), kMaxProfileFileBytes - 4);
  EXPECT_EQ(Read("A", "k"), "1");
  EXPECT_FALSE(WriteProfileString(kPath, "A", "k", "123456"));
  EXPECT_TRUE(WriteProfileString(kPath, "A", "k", "2"));
  EXPECT_EQ(Read("A", "k"), "2");
  EXPECT_EQ(fs::file_size(HostFile()), kMaxProfileFileBytes - 4);
}

TEST_F(ProfileTest, ReadSeesEveryRewriteOfTheFile) {
  // Same size, same inode, written within one tick of the file clock: the
  // status alone cannot tell these versions apart.
  for (int i = 0; i < 50; ++i) {
    const std::string value = std::to_string(i % 10);
    WriteHostFile(HostFile(), "[A]\r\nk=" + value + "\r\n");
    ASSERT_EQ(Read("A", "k"), value) << "round " << i;
  }
}

TEST_F(ProfileTest, BatchSeesItsEditsAndCommitsOnce) {
  ASSERT_TRUE(WriteProfileString(kPath, "A", "k", "1"));
  {
    ProfileWriteBatch batch(kPath);
    batch.Set("a", "K", "2");
    batch.Set("B", "new", "3");
    EXPECT_TRUE(batch.HasPendingEdits());
    EXPECT_EQ(batch.Get("A", "k", "-", 64), "2");
    EXPECT_EQ(batch.Get("b", "NEW", "-", 64), "3");
    EXPECT_EQ(Read("A", "k"), "1") << "nothing is written before Commit";
    batch.Discard();
    EXPECT_FALSE(batch.HasPendingEdits());
    EXPECT_EQ(batch.Get("A", "k", "-", 64), "1");
    EXPECT_EQ(batch.Get("B", "new", "-", 64), "-");

    // Another writer changes the file after the batch was opened: the batch
    // still sees the file as opened, and its commit keeps both changes.
    ASSERT_TRUE(WriteProfileString(kPath, "A", "other", "x"));
    EXPECT_EQ(batch.Get("A", "other", "-", 64), "-");
    batch.Set("A", "k", "4");
    EXPECT_TRUE(batch.Commit());
    EXPECT_FALSE(batch.HasPendingEdits());
    EXPECT_EQ(batch.Get("A", "other", "-", 64), "x") << "after a commit, the file as it is";
    batch.Set("A", "k", "5");
  }
  EXPECT_EQ(ReadHostFile(HostFile()), "[A]\r\nk=5\r\nother=x\r\n") << "destruction commits";
}

TEST_F(ProfileTest, HundredThousandSectionsWrittenOnceAndReadBack) {
  constexpr int kSections = 100'000;
  auto version = [](int i) { return "1.0." + std::to_string(i); };
  auto path = [](int i, int round) {
    return "C:\\p" + std::to_string(round) + "\\" + std::to_string(i);
  };
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "new sections" : "values replaced");
    ProfileWriteBatch batch(kPath);
    for (int i = 0; i < kSections; ++i) {
      batch.Set("Module" + std::to_string(i), "Version", version(i));
      batch.Set("Module" + std::to_string(i), "Path", path(i, round));
    }
    EXPECT_EQ(batch.Get("MODULE77", "path", "-", 64), path(77, round));
    EXPECT_EQ(fs::exists(HostFile()), round == 1) << "Set alone writes nothing";
    ASSERT_TRUE(batch.Commit());
  }
  const std::string content = ReadHostFile(HostFile());
  EXPECT_TRUE(content.starts_with("[Module0]\r\nVersion=1.0.0\r\nPath=C:\\p1\\0\r\n[Module1]\r\n"));
  EXPECT_TRUE(content.ends_with("[Module99999]\r\nVersion=1.0.99999\r\nPath=C:\\p1\\99999\r\n"));
  for (int i = 0; i < kSections; ++i) {
    const std::string section = "module" + std::to_string(i);
    ASSERT_EQ(Read(section, "VERSION"), version(i));
    ASSERT_EQ(Read(section, "path"), path(i, 1));
  }
}

// The whole of a host file in one read, "" when missing.
std::string ReadWhole(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary | std::ios::ate);
  std::string content(in ? static_cast<std::size_t>(in.tellg()) : 0, '\0');
  in.seekg(0);
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  return content;
}

// Runs body in a child process; the child's exit status says whether body
// returned true.
pid_t Spawn(const std::function<bool()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body() ? 0 : 1);
  return pid;
}

bool ExitedCleanly(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(ProfileTest, ConcurrentWritersLoseNoUpdate) {
  constexpr int kProcesses = 4, kThreads = 2, kRounds = 6, kKeys = 6;
  auto key = [](int worker, int k) {
    return "w" + std::to_string(worker) + "k" + std::to_string(k);
  };
  auto section = [](int worker, int k) {
    return k % 2 == 0 ? std::string("Shared") : "Own" + std::to_string(worker);
  };
  // Each worker writes its own keys, half in a section that all share, half
  // in its own, one at a time and in batches, rewriting them every round.
  auto work = [&](int worker) {
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
      const std::string value = "r" + std::to_string(round);
      if (round % 2 == 0) {
        for (int k = 0; k < kKeys; ++k)
          ok = WriteProfileString(kPath, section(worker, k), key(worker, k), value) && ok;
      } else {
        ProfileWriteBatch batch(kPath);
        for (int k = 0; k < kKeys; ++k) batch.Set(section(worker, k), key(worker, k), value);
        ok = batch.Commit() && ok;
      }
    }
    return ok;
  };
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(Spawn([&, p] {
      std::vector<std::thread> threads;
      std::vector<char> results(kThreads);
      for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { results[t] = work(p * kThreads + t); });
      for (std::thread& thread : threads) thread.join();
      return std::find(results.begin(), results.end(), 0) == results.end();
    }));
  }
  for (pid_t child : children) EXPECT_TRUE(ExitedCleanly(child));

  const std::string last = "r" + std::to_string(kRounds - 1);
  for (int worker = 0; worker < kProcesses * kThreads; ++worker)
    for (int k = 0; k < kKeys; ++k)
      EXPECT_EQ(Read(section(worker, k), key(worker, k)), last) << key(worker, k);
  EXPECT_EQ(std::distance(fs::directory_iterator(prefix_.Host(kFolder)), fs::directory_iterator()),
            1)
      << "no temporary file is left";
}

TEST_F(ProfileTest, ReadersAndKilledWritersSeeOnlyWholeVersions) {
  constexpr int kKeys = 8;
  constexpr std::size_t kValueBytes = 256 << 10;
  // Every generation sets all keys to one value of its own, so the file of
  // each generation is known exactly.
  auto value = [&](int generation) {
    return std::to_string(generation) + ":" +
           std::string(kValueBytes, static_cast<char>('a' + generation % 26));
  };
  auto fileOf = [&](int generation) {
    const std::string v = value(generation);
    std::string content = "[Big]\r\n";
    content.reserve(content.size() + kKeys * (v.size() + 8));
    for (int k = 0; k < kKeys; ++k) {
      content += "k" + std::to_string(k) + "=";
      content += v;
      content += "\r\n";
    }
    return content;
  };
  // The generation of a whole version, or -1.
  auto generationOf = [&](const std::string& content) {
    const std::string head = "[Big]\r\nk0=";
    if (!content.starts_with(head)) return -1;
    const int generation = std::atoi(content.c_str() + head.size());
    return content == fileOf(generation) ? generation : -1;
  };

  for (int attempt = 0; attempt < 8; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = Spawn([&] {
      close(ready[0]);
      for (int generation = 0;; ++generation) {
        ProfileWriteBatch batch(kPath);
        for (int k = 0; k < kKeys; ++k)
          batch.Set("Big", "k" + std::to_string(k), value(generation));
        if (!batch.Commit()) return false;
        if (generation == 0 && write(ready[1], "x", 1) != 1) return false;
      }
    });
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    // Readers meanwhile; their number also moves the moment of the kill
    // from one attempt to the next.
    for (int read = 0; read < 10 + 15 * attempt; ++read)
      ASSERT_GE(generationOf(ReadWhole(HostFile())), 0) << "read " << read;
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const int generation = generationOf(ReadHostFile(HostFile()));
    ASSERT_GE(generation, 0);
    EXPECT_EQ(Read("big", "K7", "-", kValueBytes + 64), value(generation));

    // The next writer finds the folder usable and leaves nothing behind.
    ASSERT_TRUE(WriteProfileString(kPath, "After", "k", "1"));
    EXPECT_EQ(
        std::distance(fs::directory_iterator(prefix_.Host(kFolder)), fs::directory_iterator()), 1);
    fs::remove(HostFile());
  }
}

}  // namespace
}  // namespace hovane::platform
