// Component categories: the system's category manager. Categories are
// described under the classes root's "Component Categories\{catid}" (one
// text value per locale, named by the locale in hex: "409"), and a class
// declares the categories it implements as empty keys
// "CLSID\{clsid}\Implemented Categories\{catid}".
//
// The caller chooses the classes root (per machine or per user, see
// activation.h). Nothing here removes entries; registering again overwrites.
//
// Threading: any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/com/status.h"
#include "platform/component/activation.h"
#include "platform/component/guid.h"
#include "platform/export.h"

namespace hovane::platform {

// Descriptions longer than this many UTF-16 units are cut to it.
inline constexpr std::size_t kMaxCategoryDescription = 127;

struct CategoryInfo {
  Guid catid;
  std::uint32_t locale = 0x409;
  std::u16string_view description;
};

// Creates or updates each category: "Component Categories\{catid}" with the
// value named by the locale holding the (cut) description in the system
// code page. Stops at the first failure and answers its status
// (E_ACCESSDENIED for a hive this process may not write).
HOVANE_PLATFORM_API HRESULT RegisterCategories(ClassesScope scope,
                                               std::span<const CategoryInfo> categories);

// Records that clsid implements each of catids:
// "CLSID\{clsid}\Implemented Categories\{catid}". Stops at the first failure.
HOVANE_PLATFORM_API HRESULT RegisterClassImplementedCategories(ClassesScope scope,
                                                               const Guid& clsid,
                                                               std::span<const Guid> catids);

// For tests only: while set to a failure status, both calls above answer it
// without touching the registry; S_OK restores normal service. A failure of
// the registry itself cannot be provoked for the categories alone, since
// they share their hive with the class entries written just before them.
HOVANE_PLATFORM_API void SetCategoryFailureForTesting(HRESULT status);

}  // namespace hovane::platform
