#include "install/old_versions.h"

#include "control/settings.h"
#include "platform/com/status.h"
#include "platform/control_cache/control_cache.h"
#include "platform/files/files.h"
#include "platform/shell/shell.h"

namespace hovane {
namespace {

constexpr const char* kCacheSlotNames[kCacheSlotCount] = {
    "HoVane.ocx",
    "CONFLICT.5\\HoVane.ocx",
    "HovaneUpManager.ocx",
};

constexpr const char* kKind0SystemFiles[] = {
    "HoVane.exe",
    "hovane.ini",
    "HovaneDomainSetup.ses",
    "HoVaneDownLoad.exe",
    "HovaneFavoriteSetup.ses",
    "HoVaneFileData.exe",
    "HoVane.dll",
};
constexpr const char* kKind1SystemFiles[] = {
    "HoVaneUpLoad.exe",
    "HovaneUpManager.dll",
    "HovaneMT.dll",
    "HovaneMTWma.dll",
};

std::int32_t CurrentUpdateKind() { return TheModule().m_nUpdateKind; }

// Replaces each "\\" by "\" in one left-to-right pass.
std::string SingleBackslashes(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    result += text[i];
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') ++i;
  }
  return result;
}

}  // namespace

std::string GetControlCacheFolder() {
  return platform::GetWindowsFolder() + "\\Downloaded Program Files";
}

const char* CacheSlotName(std::int32_t slot) {
  return slot >= 0 && slot < kCacheSlotCount ? kCacheSlotNames[slot] : nullptr;
}

bool CacheSlotFilledForKind(std::int32_t slot, std::int32_t kind) {
  switch (kind) {
    case kUpdateKindDn:
      return slot == 0 || slot == 1;
    case kUpdateKindUp:
      return slot == 2;
    default:
      return slot >= 0 && slot < kCacheSlotCount;
  }
}

std::span<const char* const> OldSystemFileNames(std::int32_t kind) {
  switch (kind) {
    case kUpdateKindDn:
      return kKind0SystemFiles;
    case kUpdateKindUp:
      return kKind1SystemFiles;
    default:
      return {};
  }
}

void RemoveCachedSlot(std::int32_t slot) {
  const char* name = CacheSlotName(slot);
  if (name == nullptr) return;
  const std::string path = GetControlCacheFolder() + "\\" + name;
  if (!platform::FindExact(path)) return;
  RemoveCachedControl(slot, path);
  platform::DeleteFile(path);
}

bool RemoveOldVersions() {
  const std::int32_t kind = CurrentUpdateKind();
  for (std::int32_t slot = 0; slot < kCacheSlotCount; ++slot)
    if (CacheSlotFilledForKind(slot, kind)) RemoveCachedSlot(slot);
  DeleteOldSystemFiles();
  return true;
}

bool RemoveCachedControl(std::int32_t slot, std::string_view path) {
  const char* classId = nullptr;
  if (slot <= 1)
    classId = kOldMainControlClassId;
  else if (slot == 2)
    classId = kOldUpManagerClassId;
  else
    return false;

  platform::ControlCacheLibrary cache = platform::ControlCacheLibrary::Load();
  if (!cache.IsLoaded()) return false;
  platform::RemoveControlByNameEntry* remove = cache.RemoveEntry();
  if (remove == nullptr) return true;
  const std::string file(path);
  const HRESULT status = remove(file.c_str(), classId, nullptr, 0, 1);
  return status >= 0;
}

bool DeleteOldSystemFiles() {
  const std::string systemFolder = platform::GetSystemFolder();
  for (const char* name : OldSystemFileNames(CurrentUpdateKind())) {
    const std::string path = systemFolder + "\\" + name;
    if (platform::FindExact(path)) platform::DeleteFile(path);
  }
  return true;
}

bool DeleteFolderTree(std::string_view folder) {
  const std::string pattern = SingleBackslashes(std::string(folder) + "\\*.*");
  // Entries are named by the pattern's folder part, as the search reports
  // their full paths.
  const std::string base = pattern.substr(0, pattern.size() - 3);
  for (const platform::FindEntry& entry : platform::FindFiles(pattern)) {
    if (entry.name == "." || entry.name == "..") continue;
    const std::string full = base + entry.name;
    if (entry.isDirectory)
      DeleteFolderTree(full);
    else
      platform::DeleteFile(full);
  }
  platform::RemoveFolder(folder);
  // Asked by status rather than by a search: a search never matches a path
  // with a trailing backslash, and "C:\x\" that still exists must answer as
  // "C:\x" does.
  return !platform::GetFileStatus(folder).has_value();
}

}  // namespace hovane
