// Creating the control by its ProgID through the component runtime, the
// runtime's answers when a registration is broken, and unloading the module
// only when it allows it.
#include <gtest/gtest.h>

#include "control/installer_interface.h"
#include "module_test_support.h"
#include "platform/component/unknown.h"
#include "platform/control_cache/control_cache.h"

namespace hovane::test {
namespace {

using platform::ComPtr;
using platform::FormatGuid;
using platform::Guid;

constexpr Guid kOtherClass{0x11111111, 0x2222, 0x3333, {4, 5, 6, 7, 8, 9, 10, 11}};

class Activation : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(module.registerServer(), S_OK); }
  void TearDown() override {
    // Leaves the table as it found it for the next test.
    platform::FreeUnusedModules();
  }

  // Writes a class registration of our own below a classes root.
  static void RegisterClass(ClassesScope scope, const std::string& progId, const Guid& clsid,
                            const std::string& modulePath) {
    platform::RegistryKey root, key;
    ASSERT_EQ(platform::OpenClassesRoot(scope, platform::RegAccess::All, &root),
              platform::RegStatus::Ok);
    if (!progId.empty()) {
      ASSERT_EQ(root.Create(progId + "\\CLSID", platform::RegAccess::All, &key),
                platform::RegStatus::Ok);
      key.SetString("", FormatGuid(clsid));
    }
    ASSERT_EQ(root.Create("CLSID\\" + FormatGuid(clsid) + "\\InprocServer32",
                          platform::RegAccess::All, &key),
              platform::RegStatus::Ok);
    key.SetString("", modulePath);
  }

  TempPrefix prefix;
  ModuleEntries module;
};

TEST_F(Activation, CreatesTheControlByEitherProgId) {
  for (std::string_view progId : {kProgId, kProgIdVersioned}) {
    SCOPED_TRACE(progId);
    Guid clsid;
    ASSERT_EQ(platform::ClsidFromProgId(progId, &clsid), S_OK);
    EXPECT_EQ(clsid, kClsidHoVaneUpdateInstaller);
    ComPtr<IHoVaneUpdateInstaller> control;
    ASSERT_EQ(platform::CreateInstance(clsid, kIidIHoVaneUpdateInstaller, control.Out()), S_OK);
    VARIANT_BOOL result = 0;
    EXPECT_EQ(control->IsSucessed(&result), S_OK);
    EXPECT_EQ(result, 1);
  }
  platform::ClassRegistration registration;
  ASSERT_EQ(platform::FindClassRegistration(kClsidHoVaneUpdateInstaller, &registration), S_OK);
  EXPECT_EQ(registration.scope, ClassesScope::Machine);
  EXPECT_EQ(registration.threadingModel, "Apartment");
  EXPECT_EQ(platform::HostPathOfRegisteredModule(registration.modulePath), kModulePath);
}

// A per-user registration of the same ProgID and class hides the machine's.
TEST_F(Activation, UserClassesComeBeforeTheMachines) {
  RegisterClass(ClassesScope::User, std::string(kProgId), kOtherClass, kModulePath);
  Guid clsid;
  ASSERT_EQ(platform::ClsidFromProgId(kProgId, &clsid), S_OK);
  EXPECT_EQ(clsid, kOtherClass);
  ComPtr<platform::IUnknown> object;
  // The module serves no such class: the user's registration was used.
  EXPECT_EQ(platform::CreateInstance(clsid, platform::kIidIUnknown, object.Out()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_FALSE(object);

  // The user's class key for the control, pointing to a missing module.
  RegisterClass(ClassesScope::User, "", kClsidHoVaneUpdateInstaller, "C:\\missing\\x.dll");
  platform::ClassRegistration registration;
  ASSERT_EQ(platform::FindClassRegistration(kClsidHoVaneUpdateInstaller, &registration), S_OK);
  EXPECT_EQ(registration.scope, ClassesScope::User);
  EXPECT_EQ(
      platform::CreateInstance(kClsidHoVaneUpdateInstaller, platform::kIidIUnknown, object.Out()),
      CO_E_DLLNOTFOUND);
}

TEST_F(Activation, BrokenRegistrationsAnswerTheirStatus) {
  WriteHostFile(prefix.Host("C:\\Program Files\\text.dll"), "not a module\n");
  struct Case {
    const char* name;
    std::string modulePath;  // "" registers nothing
    HRESULT status;
  };
  const Case cases[] = {
      {"not registered", "", REGDB_E_CLASSNOTREG},
      {"missing module", "C:\\Program Files\\missing.dll", CO_E_DLLNOTFOUND},
      {"missing host module", "/nonexistent/x.so", CO_E_DLLNOTFOUND},
      {"path outside the drives", "Q:\\x.dll", CO_E_DLLNOTFOUND},
      {"not a module", "C:\\Program Files\\text.dll", CO_E_ERRORINDLL},
      {"no DllGetClassObject", platform::ControlCacheModulePath(), CO_E_ERRORINDLL},
  };
  Guid clsid = kOtherClass;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++clsid.data1;
    if (!c.modulePath.empty()) RegisterClass(ClassesScope::Machine, "", clsid, c.modulePath);
    ComPtr<platform::IUnknown> object;
    EXPECT_EQ(platform::CreateInstance(clsid, platform::kIidIUnknown, object.Out()), c.status);
    EXPECT_FALSE(object);
  }
  Guid unused;
  EXPECT_EQ(platform::ClsidFromProgId("No.Such.Class", &unused), CO_E_CLASSSTRING);
  EXPECT_EQ(platform::ClsidFromProgId("", &unused), CO_E_CLASSSTRING);
  // The module's class object knows only its own class and interface.
  void* object = nullptr;
  EXPECT_EQ(module.getClassObject(kOtherClass, platform::kIidIClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(module.getClassObject(kClsidHoVaneUpdateInstaller, kIidIHoVaneUpdateInstaller, &object),
            E_NOINTERFACE);
  EXPECT_EQ(module.getClassObject(kIidIHoVaneUpdateInstaller, platform::kIidIClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  // The control refuses aggregation and interfaces it does not have.
  ComPtr<platform::IClassFactory> factory;
  ASSERT_EQ(platform::GetClassObject(kClsidHoVaneUpdateInstaller, platform::kIidIClassFactory,
                                     factory.Out()),
            S_OK);
  EXPECT_EQ(factory->CreateInstance(factory.Get(), platform::kIidIUnknown, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, platform::kIidIClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

// The module may go only when no control, class-factory lock or proxy is
// left; FreeUnusedModules asks it and keeps it until then.
TEST_F(Activation, UnloadingWaitsForControlsLocksAndProxies) {
  ASSERT_NE(module.canUnloadNow, nullptr);
  ComPtr<IHoVaneUpdateInstaller> control;
  ASSERT_EQ(platform::CreateInstance(kClsidHoVaneUpdateInstaller, kIidIHoVaneUpdateInstaller,
                                     control.Out()),
            S_OK);
  ComPtr<platform::IDispatch> sameObject;
  ASSERT_EQ(control->QueryInterface(platform::kIidIDispatch, sameObject.Out()), S_OK);
  EXPECT_EQ(static_cast<void*>(sameObject.Get()), static_cast<void*>(control.Get()));

  EXPECT_EQ(module.canUnloadNow(), S_FALSE);
  EXPECT_EQ(platform::FreeUnusedModules(), 0u);
  EXPECT_TRUE(platform::IsClassModuleLoaded(kModulePath));
  control.Reset();
  EXPECT_EQ(module.canUnloadNow(), S_FALSE) << "the second reference keeps it alive";
  sameObject.Reset();
  EXPECT_EQ(module.canUnloadNow(), S_OK);

  ComPtr<platform::IClassFactory> factory;
  ASSERT_EQ(platform::GetClassObject(kClsidHoVaneUpdateInstaller, platform::kIidIClassFactory,
                                     factory.Out()),
            S_OK);
  ASSERT_EQ(factory->LockServer(true), S_OK);
  EXPECT_EQ(module.canUnloadNow(), S_FALSE);
  ASSERT_EQ(factory->LockServer(false), S_OK);
  EXPECT_EQ(module.canUnloadNow(), S_OK);

  // A proxy over a control (its channel) holds the module too.
  ComPtr<platform::IProxyFactory> proxies;
  ASSERT_EQ(
      module.getClassObject(kIidIHoVaneUpdateInstaller, platform::kIidIProxyFactory, proxies.Out()),
      S_OK);
  ASSERT_EQ(platform::CreateInstance(kClsidHoVaneUpdateInstaller, platform::kIidIDispatch,
                                     sameObject.Out()),
            S_OK);
  ComPtr<IHoVaneUpdateInstaller> proxy;
  ASSERT_EQ(proxies->CreateProxy(sameObject.Get(), kIidIHoVaneUpdateInstaller, proxy.Out()), S_OK);
  sameObject.Reset();
  EXPECT_EQ(module.canUnloadNow(), S_FALSE);
  proxy.Reset();
  EXPECT_EQ(module.canUnloadNow(), S_OK);

  EXPECT_EQ(platform::FreeUnusedModules(), 1u);
  EXPECT_FALSE(platform::IsClassModuleLoaded(kModulePath));
  // Created again, it is loaded again.
  ASSERT_EQ(platform::CreateInstance(kClsidHoVaneUpdateInstaller, kIidIHoVaneUpdateInstaller,
                                     control.Out()),
            S_OK);
  EXPECT_TRUE(platform::IsClassModuleLoaded(kModulePath));
}

}  // namespace
}  // namespace hovane::test
