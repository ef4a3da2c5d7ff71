// Linux backend of the control cache service: the service module is found
// beside the platform library, wherever the build or the installation put
// that, so the platform library asks the dynamic linker where it was loaded
// from.
#include <dlfcn.h>

#include "platform/control_cache/control_cache_backend.h"

namespace hovane::platform::backend {

std::string PlatformLibraryFolder() {
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(&PlatformLibraryFolder), &info) == 0 ||
      info.dli_fname == nullptr)
    return {};
  const std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace hovane::platform::backend
