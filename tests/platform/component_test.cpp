// Component runtime: apartments per thread, and modules loaded by path with
// only their own exports visible.
#include "platform/component/component.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "fixtures/temp_prefix.h"
#include "platform/control_cache/control_cache.h"

namespace hovane::platform {
namespace {

using test::TempPrefix;
using test::WriteHostFile;

TEST(ApartmentTest, InitialisationFollowsTheRuntimesRules) {
  // Each row runs on a fresh thread: the calls in order, the statuses they
  // answer, and the apartment after them.
  struct Row {
    const char* name;
    std::vector<Apartment> calls;
    std::vector<HRESULT> answers;
    Apartment after;
  };
  const Row rows[] = {
      {"single once", {Apartment::SingleThreaded}, {S_OK}, Apartment::SingleThreaded},
      {"single twice",
       {Apartment::SingleThreaded, Apartment::SingleThreaded},
       {S_OK, S_FALSE},
       Apartment::SingleThreaded},
      {"multi then single",
       {Apartment::MultiThreaded, Apartment::SingleThreaded},
       {S_OK, RPC_E_CHANGED_MODE},
       Apartment::MultiThreaded},
      {"single then multi",
       {Apartment::SingleThreaded, Apartment::MultiThreaded},
       {S_OK, RPC_E_CHANGED_MODE},
       Apartment::SingleThreaded},
      {"none", {Apartment::None}, {E_INVALIDARG}, Apartment::None},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::thread([&row] {
      EXPECT_EQ(CurrentApartment(), Apartment::None);
      std::vector<HRESULT> answers;
      for (Apartment call : row.calls) answers.push_back(InitializeApartment(call));
      EXPECT_EQ(answers, row.answers);
      EXPECT_EQ(CurrentApartment(), row.after);
    }).join();
  }
}

TEST(ApartmentTest, EverySuccessIsBalancedByOneUninitialise) {
  std::thread([] {
    ASSERT_EQ(InitializeApartment(Apartment::SingleThreaded), S_OK);
    ASSERT_EQ(InitializeApartment(Apartment::SingleThreaded), S_FALSE);
    // Another thread has an apartment of its own.
    std::thread([] { EXPECT_EQ(CurrentApartment(), Apartment::None); }).join();
    UninitializeApartment();
    EXPECT_EQ(CurrentApartment(), Apartment::SingleThreaded);
    UninitializeApartment();
    EXPECT_EQ(CurrentApartment(), Apartment::None);
    UninitializeApartment();  // unbalanced: nothing happens
    EXPECT_EQ(InitializeApartment(Apartment::MultiThreaded), S_OK);
    UninitializeApartment();
  }).join();
}

TEST(LoadedModuleTest, LoadsAModuleAndSeesOnlyItsOwnExports) {
  ModuleError error = ModuleError::BadModule;
  LoadedModule module = LoadedModule::LoadHostPath(ControlCacheModulePath(), {}, &error);
  ASSERT_TRUE(module.IsLoaded()) << ControlCacheModulePath();
  EXPECT_EQ(error, ModuleError::Ok);
  EXPECT_NE(module.FindExport(kRemoveControlByNameExport), nullptr);
  EXPECT_EQ(module.FindExport("DllRegisterServer"), nullptr);
  // Exported by the libraries the module uses, not by the module.
  EXPECT_EQ(module.FindExport("malloc"), nullptr);
  EXPECT_EQ(module.FindExport(""), nullptr);
  module.Close();
  EXPECT_FALSE(module.IsLoaded());
  EXPECT_EQ(module.FindExport(kRemoveControlByNameExport), nullptr);
}

TEST(LoadedModuleTest, WhatIsNoModuleFailsWithItsReason) {
  TempPrefix prefix;
  WriteHostFile(prefix.Host("C:\\Program Files\\text.dll"), "not a module\n");
  std::filesystem::create_directories(prefix.Host("C:\\Program Files\\folder.dll"));
  struct Case {
    const char* path;
    ModuleError error;
  };
  const Case cases[] = {
      {"C:\\Program Files\\missing.dll", ModuleError::NotFound},
      {"Q:\\nowhere.dll", ModuleError::NotFound},
      {"relative.dll", ModuleError::NotFound},
      {"C:\\Program Files\\TEXT.DLL", ModuleError::BadModule},
      {"C:\\Program Files\\folder.dll", ModuleError::BadModule},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ModuleError error = ModuleError::Ok;
    std::string detail;
    LoadedModule module = LoadedModule::Load(c.path, {}, &error, &detail);
    EXPECT_FALSE(module.IsLoaded());
    EXPECT_EQ(error, c.error);
    EXPECT_FALSE(detail.empty());
  }
}

}  // namespace
}  // namespace hovane::platform
