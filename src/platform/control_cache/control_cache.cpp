#include "platform/control_cache/control_cache.h"

#include <mutex>

#include "platform/control_cache/control_cache_backend.h"

namespace hovane::platform {
namespace {

struct PathOverride {
  std::mutex mutex;
  std::string hostPath;
};

PathOverride& Override() {
  static PathOverride state;
  return state;
}

}  // namespace

std::string ControlCacheModulePath() {
  {
    std::lock_guard lock(Override().mutex);
    if (!Override().hostPath.empty()) return Override().hostPath;
  }
  const std::string folder = backend::PlatformLibraryFolder();
  return (folder.empty() ? std::string(".") : folder) + "/" + kControlCacheModuleName;
}

void SetControlCacheModulePath(const std::string& hostPath) {
  std::lock_guard lock(Override().mutex);
  Override().hostPath = hostPath;
}

ControlCacheLibrary ControlCacheLibrary::Load() {
  ControlCacheLibrary library;
  library.module_ = LoadedModule::LoadHostPath(ControlCacheModulePath());
  return library;
}

RemoveControlByNameEntry* ControlCacheLibrary::RemoveEntry() const {
  return module_.FindFunction<RemoveControlByNameEntry>(kRemoveControlByNameExport);
}

}  // namespace hovane::platform
