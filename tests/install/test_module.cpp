// A module for the registration tests; tests/install/CMakeLists.txt builds
// it several times:
//   TEST_MODULE_ENTRY=<status>     DllRegisterServer records its call in the
//                                  user hive and returns <status>
//   TEST_MODULE_IS_DEPENDENCY      a library that others use: exports a
//                                  value and an entry of its own (a failure)
//   TEST_MODULE_USES_DEPENDENCY    DllRegisterServer returns the
//                                  dependency's value
//   TEST_MODULE_BORROWS            uses the dependency, has no entry
//   (none of them)                 no DllRegisterServer at all
// Every build exports DllUnregisterServer, so each is a valid module.
#include "platform/com/status.h"

#if defined(TEST_MODULE_ENTRY)
#include <string>

#include "platform/component/component.h"
#include "platform/registry/registry.h"
#endif

#define TEST_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

#if defined(TEST_MODULE_IS_DEPENDENCY) || defined(TEST_MODULE_USES_DEPENDENCY) || \
    defined(TEST_MODULE_BORROWS)
TEST_MODULE_EXPORT int HovaneTestDependencyValue();
#endif

#if defined(TEST_MODULE_IS_DEPENDENCY)
TEST_MODULE_EXPORT int HovaneTestDependencyValue() { return 0; }
// Found through a module that uses this library, it must not count as that
// module's entry.
TEST_MODULE_EXPORT hovane::HRESULT DllRegisterServer() { return hovane::E_FAIL; }
#endif

#if defined(TEST_MODULE_USES_DEPENDENCY)
TEST_MODULE_EXPORT hovane::HRESULT DllRegisterServer() { return HovaneTestDependencyValue(); }
#endif

#if defined(TEST_MODULE_BORROWS)
TEST_MODULE_EXPORT int HovaneTestBorrowedValue() { return HovaneTestDependencyValue(); }
#endif

#if defined(TEST_MODULE_ENTRY)
// Records under HKCU\Software\HovaneTests\<module>: Calls (how often the
// entry ran) and Apartment (the calling thread's apartment during the call).
TEST_MODULE_EXPORT hovane::HRESULT DllRegisterServer() {
  namespace platform = hovane::platform;
  platform::RegistryKey key;
  if (platform::RegistryKey::Root(platform::RegistryHive::CurrentUser)
          .Create(std::string("Software\\HovaneTests\\") + TEST_MODULE_NAME,
                  platform::RegAccess::All, &key) == platform::RegStatus::Ok) {
    std::uint32_t calls = 0;
    key.QueryDword("Calls", &calls);
    key.SetDword("Calls", calls + 1);
    key.SetDword("Apartment", static_cast<std::uint32_t>(platform::CurrentApartment()));
  }
  return TEST_MODULE_ENTRY;
}
#endif

TEST_MODULE_EXPORT hovane::HRESULT DllUnregisterServer() { return hovane::S_OK; }
