// Backend of the component runtime: loading modules. Internal to the
// platform layer. Apartments need no operating-system call and live in the
// front door (component.cpp).
#pragma once

#include <string>

#include "platform/component/component.h"

namespace hovane::platform::backend {

// Opaque loaded module of the backend.
struct HostModule;

// Loads the module at an absolute host path; nullptr on failure, with the
// reason in *error and the loader's message in *detail.
HostModule* LoadHostModule(const std::string& hostPath, const ModuleLoadOptions& options,
                           ModuleError* error, std::string* detail);
void* FindHostModuleExport(HostModule* module, const std::string& name);
void UnloadHostModule(HostModule* module);
// The absolute host path of the loaded object that contains address; ""
// when none does.
std::string HostModulePathOf(const void* address);

}  // namespace hovane::platform::backend
