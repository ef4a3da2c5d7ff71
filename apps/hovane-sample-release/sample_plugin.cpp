// The sample release's plug-in control: a module that registers itself as
// the service's real controls do, by recording its class under the machine's
// classes when DllRegisterServer runs and removing it again in
// DllUnregisterServer.
#include <string>

#include "platform/com/status.h"
#include "platform/registry/registry.h"

#define SAMPLE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

namespace platform = hovane::platform;

constexpr char kClassKey[] = "SOFTWARE\\Classes\\HoVane.SamplePlugin";

}  // namespace

SAMPLE_EXPORT hovane::HRESULT DllRegisterServer() {
  platform::RegistryKey key;
  if (platform::RegistryKey::Root(platform::RegistryHive::LocalMachine)
          .Create(kClassKey, platform::RegAccess::All, &key) != platform::RegStatus::Ok)
    return hovane::E_ACCESSDENIED;
  if (key.SetString("", "HoVane sample plug-in") != platform::RegStatus::Ok ||
      key.SetString("Release", HOVANE_SAMPLE_RELEASE) != platform::RegStatus::Ok)
    return hovane::E_FAIL;
  return hovane::S_OK;
}

SAMPLE_EXPORT hovane::HRESULT DllUnregisterServer() {
  const platform::RegStatus status =
      platform::RegistryKey::Root(platform::RegistryHive::LocalMachine).DeleteTree(kClassKey);
  return status == platform::RegStatus::Ok || status == platform::RegStatus::NotFound
             ? hovane::S_OK
             : hovane::E_FAIL;
}
