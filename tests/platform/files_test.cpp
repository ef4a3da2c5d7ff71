// Files service on a temporary prefix: Windows paths, case-insensitive
// lookup, code-page names, atomic no-replace moves and copies, and the two
// "in use" holds placed by a second process.
#include "platform/files/files.h"

#include <gmock/gmock.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "fixtures/temp_prefix.h"
#include "fixtures/text.h"
#include "platform/codepage/codepage.h"

extern char** environ;

namespace hovane::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadHostFile;
using test::WriteHostFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using test::Narrow;

std::vector<std::string> Names(const std::vector<FindEntry>& entries) {
  std::vector<std::string> names;
  for (const FindEntry& entry : entries) names.push_back(entry.name);
  return names;
}

// Every path under root, relative and sorted, with each file's content.
std::vector<std::string> Snapshot(const std::string& root) {
  std::vector<std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string line = fs::relative(entry.path(), root).string();
    if (entry.is_regular_file()) line += " = " + ReadHostFile(entry.path().string());
    tree.push_back(line);
  }
  std::sort(tree.begin(), tree.end());
  return tree;
}

// The names of a host folder, sorted.
std::vector<std::string> HostNames(const std::string& hostFolder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(hostFolder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A second process that holds a file through the layer (files_hold_helper)
// until it is released: its standard input is closed and it is waited for.
class HoldingProcess {
 public:
  HoldingProcess(const std::string& prefixRoot, const std::string& path, const std::string& kind) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
      close(toChild[0]);
      close(toChild[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::string helper = FILES_HOLD_HELPER;
    std::string root = prefixRoot, target = path, holdKind = kind;
    char* argv[] = {helper.data(), root.data(), target.data(), holdKind.data(), nullptr};
    if (posix_spawn(&pid_, helper.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    stdin_ = toChild[1];
    FILE* out = fdopen(fromChild[0], "r");
    char line[128] = {};
    if (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) firstLine_ = line;
    if (out != nullptr) std::fclose(out);
  }
  ~HoldingProcess() { Release(); }
  HoldingProcess(const HoldingProcess&) = delete;
  HoldingProcess& operator=(const HoldingProcess&) = delete;

  const std::string& firstLine() const { return firstLine_; }

  // Ends the hold; true when the helper exited normally.
  bool Release() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
    if (pid_ <= 0) return false;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  std::string firstLine_;
};

class FilesTest : public ::testing::Test {
 protected:
  // Host path below drive_c.
  std::string C(const std::string& relative) const {
    return prefix_.root() + "/drive_c/" + relative;
  }
  void Put(const std::string& relative, std::string_view content) {
    WriteHostFile(C(relative), content);
  }

  test::TempPrefix prefix_;
};

// --- paths -----------------------------------------------------------------

TEST_F(FilesTest, ExistingComponentsAreFoundWithoutRegardToCase) {
  Put("Program Files/Hovane/Bin/app.exe", "app");
  EXPECT_EQ(ToHostPath("c:\\PROGRAM FILES\\hovane\\BIN\\APP.EXE"),
            C("Program Files/Hovane/Bin/app.exe"));
  // Missing components are kept as they are spelt.
  EXPECT_EQ(ToHostPath("C:/program files/HOVANE/New Folder/x.TXT"),
            C("Program Files/Hovane/New Folder/x.TXT"));

  File created = File::Open("c:\\program files\\HOVANE\\log.txt", OpenMode::CreateAlways,
                            Access::Write);
  ASSERT_TRUE(created.IsOpen());
  EXPECT_THAT(HostNames(C("Program Files/Hovane")), ElementsAre("Bin", "log.txt"));
}

TEST_F(FilesTest, ExactNameWinsOverCaseVariantsThenByteOrder) {
  const char* variants[] = {"mixed", "miXed", "Mixed", "MIXED", "mIxEd", "MiXeD", "mixeD"};
  for (const char* name : variants) Put(std::string("dir/") + name, name);
  for (const char* name : variants)
    EXPECT_EQ(ToHostPath(std::string("C:\\dir\\") + name), C(std::string("dir/") + name));
  // Among variants of a name that is not there, the first in byte order.
  EXPECT_EQ(ToHostPath("C:\\DIR\\mixEd"), C("dir/MIXED"));
  for (const char* name : {"setup.EXE", "SETUP.exe", "Setup.exe", "SeTuP.ExE", "setup.exE"})
    Put(std::string("dir/") + name, name);
  EXPECT_EQ(ToHostPath("C:\\dir\\setup.exe"), C("dir/SETUP.exe"));
  EXPECT_EQ(ToHostPath("C:\\dir\\MIXED\\x"), C("dir/MIXED/x"));
}

TEST_F(FilesTest, PathsThatMapNowhereFailAndTouchNothing) {
  Put("src.txt", "source");
  struct Case {
    std::string path;
    FileError expected;
  };
  const Case cases[] = {
      {"stray.txt", FileError::PathNotFound},
      {"Program Files\\stray.txt", FileError::PathNotFound},
      {"\\stray.txt", FileError::PathNotFound},
      {"C:stray.txt", FileError::PathNotFound},
      {"\\\\server\\share\\stray.txt", FileError::PathNotFound},
      {"Q:\\stray.txt", FileError::PathNotFound},
      {"1:\\stray.txt", FileError::PathNotFound},
      {"C:\\missing\\stray.txt", FileError::PathNotFound},
      {"C:\\src.txt\\stray.txt", FileError::PathNotFound},
      {"C:\\a<b.txt", FileError::InvalidName},
      {"C:\\a>b.txt", FileError::InvalidName},
      {"C:\\a\"b.txt", FileError::InvalidName},
      {"C:\\a|b.txt", FileError::InvalidName},
      {"C:\\a:b.txt", FileError::InvalidName},
      {"C:\\a*b.txt", FileError::InvalidName},
      {"C:\\a?b.txt", FileError::InvalidName},
      {"C:\\a\tb.txt", FileError::InvalidName},
      {"C:\\a<b\\stray.txt", FileError::InvalidName},
      // Not valid code page 949: a lead byte with a trail byte out of range,
      // a lead byte at the end, a byte that is neither.
      {"C:\\\x81\x20stray.txt", FileError::InvalidName},
      {"C:\\stray\xB0", FileError::InvalidName},
      {"C:\\stray\xFF.txt", FileError::InvalidName},
  };
  const auto before = Snapshot(prefix_.root());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    FileError error = FileError::Ok;
    EXPECT_FALSE(File::Open(c.path, OpenMode::CreateAlways, Access::Write, Share::All, &error)
                     .IsOpen());
    EXPECT_EQ(error, c.expected);
    EXPECT_EQ(CreateFolder(c.path), c.expected);
    EXPECT_EQ(CopyFile("C:\\src.txt", c.path, false), c.expected);
    EXPECT_EQ(MoveFile("C:\\src.txt", c.path), c.expected);
    EXPECT_FALSE(FindExact(c.path));
    EXPECT_FALSE(GetFileStatus(c.path).has_value());
  }
  EXPECT_EQ(Snapshot(prefix_.root()), before);
  EXPECT_FALSE(fs::exists("stray.txt"));
}

TEST_F(FilesTest, DotDotNeverLeavesTheDrive) {
  EXPECT_EQ(ToHostPath("C:\\windows\\..\\..\\..\\x.txt"), C("x.txt"));
  File file = File::Open("C:\\..\\..\\escape.txt", OpenMode::CreateAlways, Access::Write);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_TRUE(fs::exists(C("escape.txt")));
  EXPECT_FALSE(fs::exists(prefix_.root() + "/escape.txt"));

  // ".." down to the root names the drive itself, which stays where it is.
  EXPECT_EQ(MoveFile("C:\\windows\\..", "C:\\moved"), FileError::AccessDenied);
  EXPECT_EQ(RemoveFolder("C:\\windows\\..\\"), FileError::AccessDenied);
  EXPECT_TRUE(fs::is_directory(C("windows")));
}

// --- finding ---------------------------------------------------------------

TEST_F(FilesTest, FindExactMatchesFilesAndFolders) {
  Put("dir/file.txt", "x");
  const std::pair<const char*, bool> cases[] = {
      {"C:\\dir\\file.txt", true},   {"C:\\DIR\\FILE.TXT", true},
      {"C:\\dir", true},             {"C:\\WINDOWS\\System32", true},
      {"C:\\dir\\", false},          {"C:\\dir\\file.txt\\", false},
      {"C:\\dir\\missing", false},   {"C:\\missing\\file.txt", false},
      {"C:\\dir\\file.txt\\x", false}, {"C:\\", false},
      {"C:\\dir\\*.TXT", true},      {"C:\\dir\\*.ocx", false},
  };
  for (const auto& [path, found] : cases) EXPECT_EQ(FindExact(path), found) << path;
}

TEST_F(FilesTest, FindFilesListsDotsFirstThenNamesInOrder) {
  Put("dir/b.txt", "bb");
  Put("dir/A.dat", "a");
  ASSERT_EQ(CreateFolder("C:\\dir\\c"), FileError::Ok);

  const auto entries = FindFiles("C:\\DIR\\*.*");
  ASSERT_THAT(Names(entries), ElementsAre(".", "..", "A.dat", "b.txt", "c"));
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_TRUE(entries[1].isDirectory);
  EXPECT_FALSE(entries[2].isDirectory);
  EXPECT_EQ(entries[3].size, 2u);
  EXPECT_TRUE(entries[4].isDirectory);

  // A drive's root has no "." or "..".
  EXPECT_THAT(Names(FindFiles("C:\\*")), ElementsAre("dir", "Program Files", "users", "windows"));
  EXPECT_THAT(FindFiles("C:\\missing\\*.*"), IsEmpty());
  EXPECT_THAT(FindFiles("C:\\dir\\b.txt\\*"), IsEmpty());
}

TEST_F(FilesTest, FindFilesMatchesWildcardsWithoutRegardToCase) {
  const std::string folder = "windows/Downloaded Program Files/";
  for (const char* name : {"Viewer.OCX", "player.ocx", "readme.txt", "old.ocx.bak", "ocx"})
    Put(folder + name, name);
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"*.ocx", {"player.ocx", "Viewer.OCX"}},
      {"*.OcX", {"player.ocx", "Viewer.OCX"}},
      {"?LAYER.*", {"player.ocx"}},
      {"*ocx*", {"ocx", "old.ocx.bak", "player.ocx", "Viewer.OCX"}},
      {"viewer.ocx", {"Viewer.OCX"}},
      {"*.dll", {}},
  };
  for (const auto& [pattern, expected] : cases) {
    EXPECT_EQ(Names(FindFiles(std::string("C:\\windows\\downloaded program files\\") + pattern)),
              expected)
        << pattern;
  }
}

// --- Korean names ----------------------------------------------------------

TEST_F(FilesTest, CodePageNamesAreUtf8OnDiskAndFoundAgain) {
  const std::string folder = Narrow("한글");
  const std::string name = Narrow("설치.txt");
  ASSERT_NE(name, "설치.txt");  // really code page 949 bytes

  ASSERT_EQ(CreateFolder("C:\\" + folder), FileError::Ok);
  File file = File::Open("C:\\" + folder + "\\" + name, OpenMode::CreateAlways, Access::Write);
  ASSERT_TRUE(file.IsOpen());
  ASSERT_TRUE(file.Write("korean", 6));
  file.Close();

  EXPECT_EQ(ReadHostFile(C("한글/설치.txt")), "korean");
  EXPECT_TRUE(FindExact("C:\\" + folder + "\\" + name));
  EXPECT_THAT(Names(FindFiles("C:\\" + folder + "\\*.TXT")), ElementsAre(name));
  EXPECT_THAT(Names(FindFiles("C:\\*")), ::testing::Contains(folder));
}

TEST_F(FilesTest, TrailBytesAreNeverTakenForLetters) {
  // Two different characters whose trail bytes are 'A' and 'a'.
  const std::string upper = "\x81\x41.txt", lower = "\x81\x61.txt";
  ASSERT_NE(NarrowToUtf8(upper), NarrowToUtf8(lower));
  File file = File::Open("C:\\" + upper, OpenMode::CreateAlways, Access::Write);
  ASSERT_TRUE(file.IsOpen());

  EXPECT_TRUE(FindExact("C:\\" + upper));
  EXPECT_FALSE(FindExact("C:\\" + lower));
  EXPECT_THAT(FindFiles("C:\\" + lower), IsEmpty());
  EXPECT_THAT(Names(FindFiles("C:\\\x81\x41*")), ElementsAre(upper));
}

// --- moving ----------------------------------------------------------------

TEST_F(FilesTest, MoveNeverReplacesAnExistingTarget) {
  Put("a.txt", "A");
  Put("b.txt", "B");
  Put("dir/inside.txt", "I");
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\a.txt", "C:\\b.txt"}, {"C:\\a.txt", "C:\\B.TXT"}, {"C:\\a.txt", "C:\\Dir"},
      {"C:\\dir", "C:\\b.txt"},   {"C:\\DIR", "c:\\A.TXT"},
  };
  for (const auto& [from, to] : cases)
    EXPECT_EQ(MoveFile(from, to), FileError::AlreadyExists) << from << " -> " << to;
  EXPECT_EQ(ReadHostFile(C("a.txt")), "A");
  EXPECT_EQ(ReadHostFile(C("b.txt")), "B");
  EXPECT_EQ(ReadHostFile(C("dir/inside.txt")), "I");
}

TEST_F(FilesTest, MovesFilesAndFoldersWithTheirContent) {
  Put("src/sub/f.txt", "folder content");
  Put("file.bin", "file content");
  ASSERT_EQ(MoveFile("C:\\SRC", "c:\\program files\\Moved"), FileError::Ok);
  ASSERT_EQ(MoveFile("C:\\file.bin", "C:\\program files\\moved\\sub\\g.bin"), FileError::Ok);
  EXPECT_EQ(ReadHostFile(C("Program Files/Moved/sub/f.txt")), "folder content");
  EXPECT_EQ(ReadHostFile(C("Program Files/Moved/sub/g.bin")), "file content");
  EXPECT_FALSE(fs::exists(C("src")));
  EXPECT_FALSE(fs::exists(C("file.bin")));
}

TEST_F(FilesTest, RenameThatChangesOnlyLetterCase) {
  Put("app/readme.txt", "r");
  ASSERT_EQ(MoveFile("c:\\APP\\readme.txt", "C:\\app\\ReadMe.TXT"), FileError::Ok);
  EXPECT_THAT(HostNames(C("app")), ElementsAre("ReadMe.TXT"));
  ASSERT_EQ(MoveFile("C:\\app", "C:\\App"), FileError::Ok);
  EXPECT_EQ(ReadHostFile(C("App/ReadMe.TXT")), "r");
}

TEST_F(FilesTest, MoveFailures) {
  Put("a.txt", "A");
  const std::tuple<const char*, const char*, FileError> cases[] = {
      {"C:\\missing.txt", "C:\\b.txt", FileError::FileNotFound},
      {"C:\\missing\\a.txt", "C:\\b.txt", FileError::PathNotFound},
      {"C:\\a.txt", "C:\\missing\\a.txt", FileError::PathNotFound},
      {"C:\\a.txt", "C:\\", FileError::AccessDenied},
      {"C:\\", "C:\\b", FileError::AccessDenied},
  };
  for (const auto& [from, to, expected] : cases)
    EXPECT_EQ(MoveFile(from, to), expected) << from << " -> " << to;
  EXPECT_EQ(ReadHostFile(C("a.txt")), "A");
}

// Drives may be folders on different file systems: a file is then copied
// and its source deleted, a held program stays where it is.
TEST_F(FilesTest, MoveAcrossFileSystems) {
  char shm[] = "/dev/shm/hovane-files-XXXXXX";
  struct stat prefixStat, shmStat;
  if (mkdtemp(shm) == nullptr) GTEST_SKIP() << "no /dev/shm";
  if (stat(shm, &shmStat) != 0 || stat(prefix_.root().c_str(), &prefixStat) != 0 ||
      shmStat.st_dev == prefixStat.st_dev) {
    fs::remove_all(shm);
    GTEST_SKIP() << "/dev/shm is not another file system";
  }
  fs::create_directory_symlink(shm, prefix_.root() + "/drive_d");
  Put("moved.txt", "content");
  Put("running.exe", "image");
  Put("folder/f.txt", "f");
  chmod(C("moved.txt").c_str(), 0750);

  EXPECT_EQ(MoveFile("C:\\moved.txt", "D:\\moved.txt"), FileError::Ok);
  EXPECT_FALSE(fs::exists(C("moved.txt")));
  EXPECT_EQ(ReadHostFile(std::string(shm) + "/moved.txt"), "content");
  EXPECT_EQ(fs::status(std::string(shm) + "/moved.txt").permissions(),
            static_cast<fs::perms>(0750));

  ProgramImageHold hold = ProgramImageHold::Acquire("C:\\running.exe");
  ASSERT_TRUE(hold.IsHeld());
  EXPECT_EQ(MoveFile("C:\\running.exe", "D:\\running.exe"), FileError::SharingViolation);
  EXPECT_EQ(MoveFile("C:\\folder", "D:\\folder"), FileError::Failed);
  EXPECT_THAT(HostNames(shm), ElementsAre("moved.txt"));
  EXPECT_EQ(ReadHostFile(C("running.exe")), "image");
  EXPECT_EQ(ReadHostFile(C("folder/f.txt")), "f");
  fs::remove_all(shm);
}

// --- copying ---------------------------------------------------------------

TEST_F(FilesTest, CopyWithFailIfExistsKeepsTheTarget) {
  Put("dir/new.txt", "new");
  Put("dir/old.txt", "old");
  const auto oldIdentity = GetFileStatus("C:\\dir\\old.txt");

  EXPECT_EQ(CopyFile("C:\\dir\\new.txt", "C:\\dir\\OLD.TXT", true), FileError::AlreadyExists);
  EXPECT_EQ(ReadHostFile(C("dir/old.txt")), "old");

  EXPECT_EQ(CopyFile("C:\\dir\\new.txt", "C:\\dir\\OLD.TXT", false), FileError::Ok);
  EXPECT_EQ(ReadHostFile(C("dir/old.txt")), "new");
  EXPECT_NE(GetFileStatus("C:\\dir\\old.txt")->inode, oldIdentity->inode);

  EXPECT_EQ(CopyFile("C:\\dir\\new.txt", "C:\\dir\\third.txt", true), FileError::Ok);
  EXPECT_THAT(HostNames(C("dir")), ElementsAre("new.txt", "old.txt", "third.txt"));
}

TEST_F(FilesTest, CopyKeepsContentPermissionsAndTime) {
  std::string content;
  for (int i = 0; i < 300000; ++i) content += static_cast<char>('a' + i % 26);
  for (mode_t mode : {0755, 0644, 0500}) {
    SCOPED_TRACE(mode);
    Put("source.bin", content);
    chmod(C("source.bin").c_str(), mode);
    ASSERT_EQ(CopyFile("C:\\source.bin", "C:\\copy.bin", false), FileError::Ok);
    EXPECT_EQ(ReadHostFile(C("copy.bin")), content);
    struct stat st;
    ASSERT_EQ(stat(C("copy.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, mode);
    EXPECT_EQ(GetFileStatus("C:\\copy.bin")->modifiedNs,
              GetFileStatus("C:\\source.bin")->modifiedNs);
    fs::remove(C("copy.bin"));
    fs::remove(C("source.bin"));
  }
}

TEST_F(FilesTest, CopyFailuresLeaveNothingBehind) {
  Put("dir/a.txt", "A");
  Put("dir/sub/x.txt", "x");
  const std::tuple<const char*, const char*, bool, FileError> cases[] = {
      {"C:\\dir\\missing.txt", "C:\\dir\\b.txt", false, FileError::FileNotFound},
      {"C:\\dir\\sub", "C:\\dir\\b.txt", false, FileError::AccessDenied},
      {"C:\\dir\\a.txt", "C:\\dir\\sub", false, FileError::AccessDenied},
      {"C:\\dir\\a.txt", "C:\\dir\\sub", true, FileError::AlreadyExists},
      {"C:\\dir\\a.txt", "C:\\dir\\missing\\b.txt", false, FileError::PathNotFound},
  };
  for (const auto& [from, to, failIfExists, expected] : cases)
    EXPECT_EQ(CopyFile(from, to, failIfExists), expected) << from << " -> " << to;
  EXPECT_THAT(HostNames(C("dir")), ElementsAre("a.txt", "sub"));
  EXPECT_THAT(HostNames(C("dir/sub")), ElementsAre("x.txt"));
}

// --- folders and deleting --------------------------------------------------

TEST_F(FilesTest, FolderAndDeleteResults) {
  Put("full/f.txt", "f");
  const std::pair<FileError, FileError> cases[] = {
      {CreateFolder("C:\\full"), FileError::AlreadyExists},
      {CreateFolder("C:\\full\\f.txt"), FileError::AlreadyExists},
      {CreateFolder("C:\\missing\\new"), FileError::PathNotFound},
      {RemoveFolder("C:\\FULL"), FileError::NotEmpty},
      {RemoveFolder("C:\\missing"), FileError::FileNotFound},
      {RemoveFolder("C:\\"), FileError::AccessDenied},
      {DeleteFile("C:\\full"), FileError::AccessDenied},
      {DeleteFile("C:\\missing.txt"), FileError::FileNotFound},
      {DeleteFile("C:\\missing\\f.txt"), FileError::PathNotFound},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
  EXPECT_EQ(ReadHostFile(C("full/f.txt")), "f");

  EXPECT_EQ(CreateFolder("C:\\FULL\\New"), FileError::Ok);
  EXPECT_TRUE(fs::is_directory(C("full/New")));
  EXPECT_EQ(DeleteFile("C:\\full\\F.TXT"), FileError::Ok);
  EXPECT_EQ(RemoveFolder("C:\\full\\new"), FileError::Ok);
  EXPECT_EQ(RemoveFolder("C:\\full"), FileError::Ok);
  EXPECT_FALSE(fs::exists(C("full")));
}

// --- open files ------------------------------------------------------------

TEST_F(FilesTest, OpenModes) {
  struct Case {
    OpenMode mode;
    bool exists;
    FileError expected;
    std::string contentAfterAppend;  // "" when nothing may be there
  };
  const Case cases[] = {
      {OpenMode::CreateAlways, true, FileError::Ok, "+"},
      {OpenMode::CreateAlways, false, FileError::Ok, "+"},
      {OpenMode::OpenAlways, true, FileError::Ok, "old+"},
      {OpenMode::OpenAlways, false, FileError::Ok, "+"},
      {OpenMode::OpenExisting, true, FileError::Ok, "old+"},
      {OpenMode::OpenExisting, false, FileError::FileNotFound, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode) * 2 + c.exists);
    fs::remove(C("f.txt"));
    if (c.exists) Put("f.txt", "old");
    FileError error = FileError::Failed;
    File file = File::Open("C:\\F.txt", c.mode, Access::ReadWrite, Share::All, &error);
    ASSERT_EQ(error, c.expected);
    ASSERT_EQ(file.IsOpen(), c.expected == FileError::Ok);
    if (!file.IsOpen()) {
      EXPECT_FALSE(fs::exists(C("f.txt")));
      EXPECT_FALSE(fs::exists(C("F.txt")));
      continue;
    }
    const auto length = static_cast<std::int64_t>(c.contentAfterAppend.size() - 1);
    EXPECT_EQ(file.Size(), length);
    EXPECT_EQ(file.SeekToEnd(), length);
    EXPECT_TRUE(file.Write("+", 1));
    EXPECT_TRUE(file.Sync());
    file.Close();
    EXPECT_EQ(ReadHostFile(C(c.exists ? "f.txt" : "F.txt")), c.contentAfterAppend);
    fs::remove(C("F.txt"));
  }
}

TEST_F(FilesTest, ReadHandlesReadAndNeverWrite) {
  Put("r.txt", "hello");
  File file = File::Open("C:\\r.txt", OpenMode::OpenExisting, Access::Read);
  ASSERT_TRUE(file.IsOpen());
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
  EXPECT_FALSE(file.Write("x", 1));
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadHostFile(C("r.txt")), "hello");

  FileError error = FileError::Ok;
  EXPECT_FALSE(
      File::Open("C:\\windows", OpenMode::OpenExisting, Access::Read, Share::All, &error).IsOpen());
  EXPECT_EQ(error, FileError::AccessDenied);
}

// --- holds -----------------------------------------------------------------

struct HoldCase {
  const char* kind;
  FileError del, replace, openForWrite, truncate, move;
};

void PrintTo(const HoldCase& holdCase, std::ostream* out) { *out << holdCase.kind; }

class FilesHoldTest : public FilesTest, public ::testing::WithParamInterface<HoldCase> {};

TEST_P(FilesHoldTest, HoldOfAnotherProcess) {
  const HoldCase& c = GetParam();
  Put("Program Files/Hovane/app.exe", "image");
  Put("new.exe", "replacement");
  const std::string path = "C:\\Program Files\\Hovane\\app.exe";
  HoldingProcess holder(prefix_.root(), path, c.kind);
  ASSERT_EQ(holder.firstLine(), "ready\n");

  auto content = [&] { return ReadHostFile(C("Program Files/Hovane/app.exe")); };
  auto open = [&](OpenMode mode, Access access) {
    FileError error = FileError::Failed;
    File::Open(path, mode, access, Share::All, &error);
    return error;
  };
  EXPECT_EQ(open(OpenMode::OpenExisting, Access::Read), FileError::Ok);
  EXPECT_EQ(DeleteFile(path), c.del);
  EXPECT_EQ(CopyFile("C:\\new.exe", path, false), c.replace);
  EXPECT_EQ(open(OpenMode::OpenExisting, Access::Write), c.openForWrite);
  EXPECT_EQ(open(OpenMode::OpenAlways, Access::ReadWrite), c.openForWrite);
  EXPECT_EQ(content(), "image");
  EXPECT_EQ(open(OpenMode::CreateAlways, Access::Read), c.truncate);
  if (c.truncate != FileError::Ok) {
    EXPECT_EQ(content(), "image");
  }

  const std::string moved = "C:\\Program Files\\Hovane\\app.old";
  EXPECT_EQ(MoveFile(path, moved), c.move);
  const std::string& held = c.move == FileError::Ok ? moved : path;
  // The hold stays with the file under its new name.
  EXPECT_EQ(DeleteFile(held), FileError::SharingViolation);

  ASSERT_TRUE(holder.Release());
  EXPECT_EQ(MoveFile(held, "C:\\Program Files\\Hovane\\app.tmp"), FileError::Ok);
  EXPECT_EQ(DeleteFile("C:\\Program Files\\Hovane\\app.tmp"), FileError::Ok);
  EXPECT_THAT(HostNames(C("Program Files/Hovane")), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Holds, FilesHoldTest,
    ::testing::Values(
        // A running program: may be moved aside, not deleted or written.
        HoldCase{"image", FileError::SharingViolation, FileError::SharingViolation,
                 FileError::SharingViolation, FileError::SharingViolation, FileError::Ok},
        // Open without delete sharing: may be written, not moved or deleted.
        HoldCase{"nodelete", FileError::SharingViolation, FileError::SharingViolation,
                 FileError::Ok, FileError::Ok, FileError::SharingViolation}),
    [](const ::testing::TestParamInfo<HoldCase>& holdCase) {
      return std::string(holdCase.param.kind);
    });

TEST_F(FilesTest, HoldsOfThisProcessLastAsLongAsTheirHandles) {
  Put("data.bin", "data");
  File first = File::Open("C:\\data.bin", OpenMode::OpenExisting, Access::Read, Share::NoDelete);
  File second = File::Open("C:\\data.bin", OpenMode::OpenAlways, Access::Write, Share::NoDelete);
  ASSERT_TRUE(first.IsOpen());
  ASSERT_TRUE(second.IsOpen());
  first.Close();
  EXPECT_EQ(DeleteFile("C:\\data.bin"), FileError::SharingViolation);
  second.Close();

  {
    ProgramImageHold hold = ProgramImageHold::AcquireHostPath(C("data.bin"));
    ASSERT_TRUE(hold.IsHeld());
    EXPECT_EQ(DeleteFile("C:\\data.bin"), FileError::SharingViolation);
  }
  EXPECT_EQ(DeleteFile("C:\\data.bin"), FileError::Ok);

  FileError error = FileError::Ok;
  EXPECT_FALSE(ProgramImageHold::Acquire("C:\\missing.exe", &error).IsHeld());
  EXPECT_EQ(error, FileError::FileNotFound);
}

}  // namespace
}  // namespace hovane::platform
