#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/prefix/prefix_backend.h"

namespace hovane::platform::backend {

std::string DefaultPrefixRoot() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
    return std::string(xdg) + "/hovane";
  std::string home;
  if (const char* env = std::getenv("HOME"); env != nullptr && *env != '\0') {
    home = env;
  } else if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir) {
    home = entry->pw_dir;
  } else {
    home = "/tmp";
  }
  return home + "/.local/share/hovane";
}

std::string LoginName() {
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_name)
    return entry->pw_name;
  if (const char* env = std::getenv("USER")) return env;
  return {};
}

bool MakeHostFolders(const std::string& hostPath) {
  std::error_code ec;
  std::filesystem::create_directories(hostPath, ec);
  return std::filesystem::is_directory(hostPath, ec);
}

}  // namespace hovane::platform::backend
