// The control as a component object inside the control library: its
// interfaces, its count, the module lock it holds and its persisted extent.
#include <gtest/gtest.h>

#include "control/control.h"
#include "control/settings.h"
#include "fixtures/temp_prefix.h"

namespace hovane {
namespace {

TEST(ControlObject, InterfacesShareOneObjectAndTheLockFollowsItsLife) {
  test::TempPrefix prefix;
  const std::int32_t locksBefore = TheModule().GetLockCount();
  auto* control = new CHoVaneUpdateInstaller;
  EXPECT_EQ(TheModule().GetLockCount(), locksBefore + 1);
  void* object = nullptr;
  ASSERT_EQ(control->QueryInterface(platform::kIidIUnknown, &object), S_OK);
  for (const platform::Guid& iid : {platform::kIidIDispatch, kIidIHoVaneUpdateInstaller}) {
    void* same = nullptr;
    EXPECT_EQ(control->QueryInterface(iid, &same), S_OK);
    EXPECT_EQ(same, object);
    control->Release();
  }
  for (const platform::Guid& iid : {platform::kIidIClassFactory, platform::kIidIProxyFactory,
                                    kDiidHoVaneUpdateInstallerEvents}) {
    void* none = &object;
    EXPECT_EQ(control->QueryInterface(iid, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
  }
  EXPECT_EQ(control->QueryInterface(platform::kIidIUnknown, nullptr), E_POINTER);
  EXPECT_EQ(control->AddRef(), 2u);
  EXPECT_EQ(control->Release(), 1u);
  EXPECT_EQ(TheModule().GetLockCount(), locksBefore + 1);
  EXPECT_EQ(control->Release(), 0u);
  EXPECT_EQ(TheModule().GetLockCount(), locksBefore);
}

TEST(ControlObject, ExtentIsPersistedAsCxAndCy) {
  test::TempPrefix prefix;
  CHoVaneUpdateInstaller control;
  EXPECT_EQ(control.Extent(), (ControlExtent{5080, 5080}));
  std::map<std::string, std::int32_t> saved;
  control.SaveExtent(&saved);
  EXPECT_EQ(saved, (std::map<std::string, std::int32_t>{{"_cx", 5080}, {"_cy", 5080}}));

  struct Case {
    std::map<std::string, std::int32_t> loaded;
    ControlExtent extent;
  };
  const Case cases[] = {
      {{{"_cx", 100}, {"_cy", 200}}, {100, 200}},
      {{{"_cy", 300}}, {5080, 300}},
      {{{"_CX", 1}, {"width", 2}}, {5080, 5080}},
  };
  for (const Case& c : cases) {
    CHoVaneUpdateInstaller loaded;
    loaded.LoadExtent(c.loaded);
    EXPECT_EQ(loaded.Extent(), c.extent);
    std::map<std::string, std::int32_t> again;
    loaded.SaveExtent(&again);
    CHoVaneUpdateInstaller reloaded;
    reloaded.LoadExtent(again);
    EXPECT_EQ(reloaded.Extent(), c.extent);
  }
}

}  // namespace
}  // namespace hovane
