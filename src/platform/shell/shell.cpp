#include "platform/shell/shell.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "platform/prefix/prefix.h"

namespace hovane::platform {
namespace {

struct VersionState {
  std::mutex mutex;
  bool overridden = false;
  std::optional<OsVersion> version;
};

VersionState& Versions() {
  static VersionState state;
  return state;
}

// HOVANE_OS_VERSION: "platform.major.minor", or "fail".
std::optional<OsVersion> VersionFromEnvironment() {
  const char* env = std::getenv("HOVANE_OS_VERSION");
  if (env == nullptr || *env == '\0') return OsVersion{};
  if (std::string_view(env) == "fail") return std::nullopt;
  unsigned platformId = 0, major = 0, minor = 0;
  char extra = 0;
  if (std::sscanf(env, "%u.%u.%u%c", &platformId, &major, &minor, &extra) != 3) return OsVersion{};
  return OsVersion{platformId, major, minor};
}

}  // namespace

std::optional<std::string> GetShellFolder(ShellFolder folder) {
  if (!EnsurePrefixLayout()) return std::nullopt;
  switch (folder) {
    case ShellFolder::ProgramFiles:
      return std::string("C:\\Program Files");
    case ShellFolder::ApplicationData:
      return "C:\\users\\" + PrefixUserName() + "\\AppData\\Roaming";
  }
  return std::nullopt;
}

std::string GetWindowsFolder() {
  EnsurePrefixLayout();
  return "C:\\windows";
}

std::string GetSystemFolder() {
  EnsurePrefixLayout();
  return "C:\\windows\\system32";
}

std::optional<OsVersion> GetOsVersion() {
  VersionState& state = Versions();
  std::lock_guard lock(state.mutex);
  if (!state.overridden) {
    state.version = VersionFromEnvironment();
    state.overridden = true;
  }
  return state.version;
}

void SetOsVersion(std::optional<OsVersion> version) {
  VersionState& state = Versions();
  std::lock_guard lock(state.mutex);
  state.version = version;
  state.overridden = true;
}

}  // namespace hovane::platform
