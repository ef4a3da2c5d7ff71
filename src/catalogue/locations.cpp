#include "catalogue/locations.h"

#include <mutex>
#include <optional>

#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/shell/shell.h"

namespace hovane {
namespace {

std::mutex& BaseFolderMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<platform::ShellFolder>& ChosenBaseFolder() {
  static std::optional<platform::ShellFolder> choice;
  return choice;
}

platform::ShellFolder BaseFolderFromOsVersion() {
  auto version = platform::GetOsVersion();
  if (version && version->platformId == 2 && version->major >= 5)
    return platform::ShellFolder::ApplicationData;
  return platform::ShellFolder::ProgramFiles;
}

// Collapses doubled backslashes, then removes '/',
// then '*', '?', '"', '<', '>' and '|'. The colon stays, so a drive prefix
// survives.
std::string CleanFolderPath(std::string_view path) {
  std::string cleaned = CollapseDoubledBackslashes(path);
  std::erase(cleaned, '/');
  for (char removed : {'*', '?', '"', '<', '>', '|'}) std::erase(cleaned, removed);
  return cleaned;
}

}  // namespace

std::string CollapseDoubledBackslashes(std::string_view path) {
  std::string collapsed;
  collapsed.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    collapsed += path[i];
    if (path[i] == '\\' && i + 1 < path.size() && path[i + 1] == '\\') ++i;
  }
  return collapsed;
}

std::string GetProgramFilesFolder() {
  return platform::GetShellFolder(platform::ShellFolder::ProgramFiles).value_or(std::string());
}

std::string GetInstallFolder() {
  return GetProgramFilesFolder() + "\\" + kInstallFolderName;
}

std::string GetUserBaseFolder() {
  platform::ShellFolder folder;
  {
    std::lock_guard lock(BaseFolderMutex());
    if (!ChosenBaseFolder()) ChosenBaseFolder() = BaseFolderFromOsVersion();
    folder = *ChosenBaseFolder();
  }
  return platform::GetShellFolder(folder).value_or(std::string());
}

std::string GetTempFolder() { return GetInstallFolder() + "\\" + kTempFolderName; }

bool CreateDirectoryTree(std::string_view path) {
  // Only the last backslash counts at each level; the existence test looks
  // at the parent as passed in, before cleaning.
  if (auto slash = platform::FindLastChar(path, '\\'); slash != std::string_view::npos) {
    std::string_view parent = path.substr(0, slash);
    if (!platform::GetFileStatus(parent)) CreateDirectoryTree(parent);
  }
  return platform::CreateFolder(CleanFolderPath(path)) == platform::FileError::Ok;
}

void ReloadOsVersionForTesting() {
  std::lock_guard lock(BaseFolderMutex());
  ChosenBaseFolder().reset();
}

// The path layer would read a separator, a drive colon or "." / ".." as
// structure; trail bytes of double-byte characters are skipped, as the path
// layer skips them.
bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (platform::IsLeadByte(c) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (c < 0x20 || c == '\\' || c == '/' || c == ':') return false;
  }
  return true;
}

}  // namespace hovane
