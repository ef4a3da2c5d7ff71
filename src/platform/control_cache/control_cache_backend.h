// Backend of the control cache service: where the service module lies.
// Internal to the platform layer.
#pragma once

#include <string>

namespace hovane::platform::backend {

// The folder (host path) of the loaded platform library; "" when unknown.
std::string PlatformLibraryFolder();

}  // namespace hovane::platform::backend
