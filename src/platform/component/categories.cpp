// The category manager over the registry service.
#include "platform/component/categories.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/codepage/codepage.h"

namespace hovane::platform {
namespace {

std::atomic<HRESULT> g_injectedFailure{S_OK};

// The value name of a locale: lower-case hex without leading zeros, as the
// category manager names it ("409").
std::string LocaleValueName(std::uint32_t locale) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(locale));
  return text;
}

HRESULT WritableClassesRoot(ClassesScope scope, RegistryKey* root) {
  return StatusFromRegistry(OpenClassesRoot(scope, RegAccess::All, root));
}

}  // namespace

HRESULT RegisterCategories(ClassesScope scope, std::span<const CategoryInfo> categories) {
  if (HRESULT injected = g_injectedFailure.load(); injected != S_OK) return injected;
  RegistryKey root;
  if (HRESULT status = WritableClassesRoot(scope, &root); status != S_OK) return status;
  for (const CategoryInfo& category : categories) {
    const std::u16string_view description = category.description.substr(0, kMaxCategoryDescription);
    RegistryKey key;
    if (RegStatus status = root.Create("Component Categories\\" + FormatGuid(category.catid),
                                       RegAccess::All, &key);
        status != RegStatus::Ok)
      return StatusFromRegistry(status);
    if (RegStatus status =
            key.SetString(LocaleValueName(category.locale), Utf16ToNarrow(description));
        status != RegStatus::Ok)
      return StatusFromRegistry(status);
  }
  return S_OK;
}

HRESULT RegisterClassImplementedCategories(ClassesScope scope, const Guid& clsid,
                                           std::span<const Guid> catids) {
  if (HRESULT injected = g_injectedFailure.load(); injected != S_OK) return injected;
  RegistryKey root;
  if (HRESULT status = WritableClassesRoot(scope, &root); status != S_OK) return status;
  const std::string base = "CLSID\\" + FormatGuid(clsid) + "\\Implemented Categories\\";
  for (const Guid& catid : catids) {
    RegistryKey key;
    if (RegStatus status = root.Create(base + FormatGuid(catid), RegAccess::All, &key);
        status != RegStatus::Ok)
      return StatusFromRegistry(status);
  }
  return S_OK;
}

void SetCategoryFailureForTesting(HRESULT status) { g_injectedFailure.store(status); }

}  // namespace hovane::platform
