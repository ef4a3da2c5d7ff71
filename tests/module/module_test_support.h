// What the module tests share: the module loaded as a host loads it, its
// entry points, the helper process for registration in a fresh process, and
// reads of the classes roots.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/temp_prefix.h"
#include "platform/com/status.h"
#include "platform/component/activation.h"
#include "platform/component/component.h"
#include "platform/registry/registry.h"

namespace hovane::test {

using platform::ClassesScope;

inline const std::string kModulePath = HOVANE_MODULE_PATH;

using DllRegisterEntry = HRESULT();
using DllInstallEntry = HRESULT(std::int32_t, const char16_t*);

// The module's entry points through a handle of this process.
struct ModuleEntries {
  platform::LoadedModule module = platform::LoadedModule::LoadHostPath(kModulePath);
  DllRegisterEntry* registerServer = module.FindFunction<DllRegisterEntry>("DllRegisterServer");
  DllRegisterEntry* unregisterServer = module.FindFunction<DllRegisterEntry>("DllUnregisterServer");
  DllInstallEntry* install = module.FindFunction<DllInstallEntry>("DllInstall");
  platform::DllCanUnloadNowEntry* canUnloadNow =
      module.FindFunction<platform::DllCanUnloadNowEntry>("DllCanUnloadNow");
  platform::DllGetClassObjectEntry* getClassObject =
      module.FindFunction<platform::DllGetClassObjectEntry>("DllGetClassObject");
};

// Runs module_helper on the prefix: entry is install, uninstall, register
// or unregister; commandLine (for DllInstall) null when not given. The
// status the entry answered, or nullopt when the helper failed.
inline std::optional<HRESULT> RunInHelper(const TempPrefix& prefix, const std::string& entry,
                                          const std::optional<std::string>& commandLine = {}) {
  std::vector<std::string> args{"module_helper", prefix.root(), kModulePath, entry};
  if (commandLine) args.push_back(*commandLine);
  ChildProcess helper(MODULE_HELPER, args);
  if (!helper.Started()) return std::nullopt;
  const auto line = helper.ReadLine();
  const int status = helper.Wait();
  if (!line || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return static_cast<HRESULT>(std::stoul(*line, nullptr, 16));
}

// The text of a value (the default value for "") of a key below a classes
// root; nullopt when the key or value is missing.
inline std::optional<std::string> ClassesText(ClassesScope scope, const std::string& key,
                                              const std::string& value = "") {
  platform::RegistryKey root, found;
  if (platform::OpenClassesRoot(scope, platform::RegAccess::Read, &root) !=
          platform::RegStatus::Ok ||
      root.Open(key, platform::RegAccess::Read, &found) != platform::RegStatus::Ok)
    return std::nullopt;
  std::string text;
  if (found.QueryString(value, &text) != platform::RegStatus::Ok) return std::nullopt;
  return text;
}

inline bool ClassesKeyExists(ClassesScope scope, const std::string& key) {
  platform::RegistryKey root, found;
  return platform::OpenClassesRoot(scope, platform::RegAccess::Read, &root) ==
             platform::RegStatus::Ok &&
         root.Open(key, platform::RegAccess::Read, &found) == platform::RegStatus::Ok;
}

}  // namespace hovane::test
