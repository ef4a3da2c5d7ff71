#include "platform/prefix/prefix.h"

#include <cstdlib>
#include <mutex>

#include "platform/prefix/prefix_backend.h"

namespace hovane::platform {
namespace {

struct PrefixState {
  std::mutex mutex;
  std::string root;
  bool laidOut = false;
};

PrefixState& State() {
  static PrefixState state;
  return state;
}

std::string InitialRoot() {
  if (const char* env = std::getenv("HOVANE_PREFIX"); env != nullptr && *env != '\0')
    return env;
  return backend::DefaultPrefixRoot();
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsPlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '-';
    if (!plain) return false;
  }
  return true;
}

}  // namespace

std::string PrefixRoot() {
  PrefixState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.root.empty()) state.root = WithoutTrailingSlash(InitialRoot());
  return state.root;
}

void SetPrefixRoot(const std::string& hostPath) {
  PrefixState& state = State();
  std::lock_guard lock(state.mutex);
  state.root = WithoutTrailingSlash(hostPath);
  state.laidOut = false;
}

std::string PrefixUserName() {
  static const std::string name = [] {
    std::string login = backend::LoginName();
    return IsPlainName(login) ? login : std::string("user");
  }();
  return name;
}

bool EnsurePrefixLayout() {
  const std::string root = PrefixRoot();
  {
    std::lock_guard lock(State().mutex);
    if (State().laidOut && State().root == root) return true;
  }
  const std::string folders[] = {
      root + "/drive_c/Program Files",
      root + "/drive_c/users/" + PrefixUserName() + "/AppData/Roaming",
      root + "/drive_c/windows/system32",
      root + "/drive_c/windows/Downloaded Program Files",
      root + "/registry",
  };
  for (const std::string& folder : folders)
    if (!backend::MakeHostFolders(folder)) return false;
  std::lock_guard lock(State().mutex);
  if (State().root == root) State().laidOut = true;
  return true;
}

}  // namespace hovane::platform
