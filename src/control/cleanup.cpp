// The page's cleanup methods: older copies, one installed file, the whole
// install folder.
#include "catalogue/locations.h"
#include "control/control.h"
#include "control/settings.h"
#include "install/old_versions.h"
#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/msgbox/message_box.h"
#include "resources/texts.h"

namespace hovane {
namespace {

// Whether a name given by the page stays inside the folder it is appended
// to: not rooted, no drive, no "." or ".." step.
bool StaysInsideFolder(std::string_view name) {
  if (name.empty() || name.front() == '\\' || name.front() == '/') return false;
  if (name.find(':') != std::string_view::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

void RemoveCachedSlots(bool everySlot) {
  const std::int32_t kind = TheModule().m_nUpdateKind;
  for (std::int32_t slot = 0; slot < kCacheSlotCount; ++slot)
    if (everySlot || CacheSlotFilledForKind(slot, kind)) RemoveCachedSlot(slot);
}

}  // namespace

HRESULT CHoVaneUpdateInstaller::DeleteOldFile(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  RemoveCachedSlots(false);
  DeleteOldSystemFiles();
  *bResult = kTrue16;
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::DeleteGarbageFile(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  RemoveCachedSlots(true);
  DeleteOldSystemFiles();
  platform::ShowMessage(Text(TextId::kTextDeleteSucceeded), Text(TextId::kTextModuleTitle));
  *bResult = kTrue16;
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::DeleteInstalledFile(std::u16string_view strFileName,
                                                    VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  const std::string name = platform::Utf16ToNarrow(strFileName);
  // An empty name addresses the folder itself with a trailing separator,
  // which is no file: the deletion fails as it would there.
  const bool deleted =
      (name.empty() || StaysInsideFolder(name)) &&
      platform::DeleteFile(GetInstallFolder() + "\\" + name) == platform::FileError::Ok;
  *bResult = ToVariantBool(deleted);
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::DeleteInstalledFolder(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  *bResult = ToVariantBool(DeleteFolder(GetInstallFolder()));
  return S_OK;
}

bool CHoVaneUpdateInstaller::DeleteFolder(std::string_view folder) {
  const std::string pattern = CollapseDoubledBackslashes(std::string(folder) + "\\*.*");
  const std::string base = pattern.substr(0, pattern.size() - 3);
  bool result = true;
  for (const platform::FindEntry& entry : platform::FindFiles(pattern)) {
    if (entry.name == "." || entry.name == "..") continue;
    const std::string path = base + entry.name;
    if (entry.isDirectory)
      DeleteFolder(path);
    else
      result = platform::DeleteFile(path) == platform::FileError::Ok;
  }
  platform::RemoveFolder(folder);
  return result;
}

}  // namespace hovane
