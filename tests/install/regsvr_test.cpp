// CRegsvr against real modules built by the test suite: every result code,
// a thread in a multi-threaded apartment, a thread already in a
// single-threaded one, and dependencies found in the module's own folder.
#include "install/regsvr.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "fixtures/temp_prefix.h"
#include "platform/codepage/codepage.h"
#include "platform/component/component.h"
#include "platform/registry/registry.h"

namespace hovane {
namespace {

namespace fs = std::filesystem;
using platform::Apartment;
using test::TempPrefix;

constexpr char kFolder[] = "C:\\Program Files\\Hovane";

// Whether the dynamic linker still has a module of this path or name.
bool StillLoaded(const std::string& pathOrName) {
  void* handle = dlopen(pathOrName.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

class RegsvrTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::SetSystemCodePage(949)); }

  // Installs a built file into the install folder under name; returns its
  // Windows-style path.
  std::string Install(const char* builtFile, const std::string& name) {
    const std::string path = std::string(kFolder) + "\\" + name;
    fs::create_directories(prefix_.Host(kFolder));
    fs::copy_file(builtFile, prefix_.Host(path), fs::copy_options::overwrite_existing);
    return path;
  }

  // What the module's entry recorded: how often it ran, and the apartment
  // it ran in.
  static std::uint32_t Recorded(const std::string& module, const char* what) {
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(platform::RegistryHive::CurrentUser,
                                  "Software\\HovaneTests\\" + module, platform::RegAccess::Read,
                                  &key) != platform::RegStatus::Ok)
      return 0;
    std::uint32_t value = 0;
    key.QueryDword(what, &value);
    return value;
  }

  TempPrefix prefix_;
};

TEST_F(RegsvrTest, EveryResultCode) {
  struct Case {
    const char* builtFile;  // nullptr: a file the test writes
    std::string name;
    std::int32_t code;
    const char* recordedBy;  // the module whose entry ran, if any
  };
  const Case cases[] = {
      {REGMOD_ZERO, "Zero.dll", kRegsvrOk, "regmod_zero"},
      {REGMOD_POSITIVE, "Positive.ocx", kRegsvrOk, "regmod_positive"},
      {REGMOD_NOENTRY, "NoEntry.dll", kRegsvrNoEntry, nullptr},
      // Its dependency (beside it) exports an entry that fails; that entry
      // is not the module's own.
      {REGMOD_BORROWER, "Borrower.dll", kRegsvrNoEntry, nullptr},
      {REGMOD_FAILURE, "Failure.dll", kRegsvrEntryFailed, "regmod_failure"},
      {nullptr, "NotAModule.dll", kRegsvrLoadFailed, nullptr},
      {nullptr, "Missing.dll", kRegsvrLoadFailed, nullptr},
  };
  Install(REGMOD_DEPENDENCY, "regmod_dependency.so");
  test::WriteHostFile(prefix_.Host(std::string(kFolder) + "\\NotAModule.dll"), "MZ, but no\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        c.builtFile ? Install(c.builtFile, c.name) : std::string(kFolder) + "\\" + c.name;
    EXPECT_EQ(CRegsvr().Register(path), c.code);
    if (c.recordedBy) {
      EXPECT_EQ(Recorded(c.recordedBy, "Calls"), 1u);
      EXPECT_EQ(Recorded(c.recordedBy, "Apartment"),
                static_cast<std::uint32_t>(Apartment::SingleThreaded));
    }
    // Never left loaded, and the thread left as it was found.
    EXPECT_FALSE(StillLoaded(prefix_.Host(path)));
    EXPECT_FALSE(StillLoaded("regmod_dependency.so"));
    EXPECT_EQ(platform::CurrentApartment(), Apartment::None);
  }
}

TEST_F(RegsvrTest, AMultiThreadedApartmentRefusesAndNothingIsLoaded) {
  const std::string path = Install(REGMOD_ZERO, "Zero.ocx");
  std::thread([&] {
    ASSERT_EQ(platform::InitializeApartment(Apartment::MultiThreaded), S_OK);
    EXPECT_EQ(CRegsvr().Register(path), kRegsvrInitFailed);
    EXPECT_EQ(platform::CurrentApartment(), Apartment::MultiThreaded);
    platform::UninitializeApartment();
  }).join();
  EXPECT_EQ(Recorded("regmod_zero", "Calls"), 0u);
  EXPECT_FALSE(StillLoaded(prefix_.Host(path)));
}

TEST_F(RegsvrTest, AThreadAlreadyInASingleThreadedApartmentStaysInIt) {
  const std::string path = Install(REGMOD_ZERO, "Zero.dll");
  std::thread([&] {
    ASSERT_EQ(platform::InitializeApartment(Apartment::SingleThreaded), S_OK);
    EXPECT_EQ(CRegsvr().Register(path), kRegsvrOk);
    EXPECT_EQ(CRegsvr().Register(path), kRegsvrOk);
    // One balance for the thread's own initialisation, and it is out.
    EXPECT_EQ(platform::CurrentApartment(), Apartment::SingleThreaded);
    platform::UninitializeApartment();
    EXPECT_EQ(platform::CurrentApartment(), Apartment::None);
  }).join();
  EXPECT_EQ(Recorded("regmod_zero", "Calls"), 2u);
}

TEST_F(RegsvrTest, DependenciesAreFoundInTheModulesOwnFolder) {
  // The module has no search path of its own: its dependency is found only
  // because it lies beside it.
  const std::string path = Install(REGMOD_DEPENDENT, "Plugin.ocx");
  EXPECT_EQ(CRegsvr().Register(path), kRegsvrLoadFailed);
  Install(REGMOD_DEPENDENCY, "regmod_dependency.so");
  EXPECT_EQ(CRegsvr().Register(path), kRegsvrOk);
  EXPECT_FALSE(StillLoaded(prefix_.Host(path)));
  EXPECT_FALSE(StillLoaded("regmod_dependency.so"));
}

}  // namespace
}  // namespace hovane
