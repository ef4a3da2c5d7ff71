// The data the control module carries about itself: its version
// information, the requests of its manifest, its string table and the names
// its registration uses. Header-only, so that a host (its --version) can
// print the same data without loading the module. Texts are UTF-8.
#pragma once

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace hovane::module_data {

struct VersionInfo {
  std::array<std::uint16_t, 4> fileVersion;
  std::array<std::uint16_t, 4> productVersion;
  std::string_view fileDescription;
  std::string_view productName;
  std::string_view internalName;
  std::string_view originalFilename;
  std::uint16_t language;  // Korean
  std::uint16_t codePage;
};

inline constexpr VersionInfo kVersionInfo{
    {1, 0, 2, 7},
    {1, 0, 2, 7},
    "호바네 업데이트 ActiveX",
    "호바네 업데이트 ActiveX",
    "HoVaneUpdate.dll",
    "HoVaneUpdate.dll",
    0x0412,
    949,
};

// What the module's manifest asks of the system.
struct ManifestRequests {
  std::string_view executionLevel;
  bool uiAccess;
  bool dpiAware;
};

inline constexpr ManifestRequests kManifest{"requireAdministrator", true, true};

// The string table.
inline constexpr std::uint32_t kStringModuleName = 100;
inline constexpr std::uint32_t kStringControlName = 101;

// The string of the module's table with this id, or nullopt.
constexpr std::optional<std::string_view> ModuleString(std::uint32_t id) {
  if (id == kStringModuleName) return "HoVaneUpdate";
  if (id == kStringControlName) return "HoVaneUpdate";
  return std::nullopt;
}

// A localized-string reference "@<module path>,-<id>" resolved through the
// module's string table; nullopt when the text is no such reference or the
// id is not in the table. The module path is not checked: the caller knows
// the reference is the module's own.
constexpr std::optional<std::string_view> ResolveLocalizedString(std::string_view reference) {
  if (reference.size() < 4 || reference.front() != '@') return std::nullopt;
  const std::size_t comma = reference.rfind(",-");
  if (comma == std::string_view::npos || comma < 2) return std::nullopt;
  const std::string_view digits = reference.substr(comma + 2);
  std::uint32_t id = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return ModuleString(id);
}

// The module's name as its export directory gives it, and the AppID key
// that names it.
inline constexpr std::string_view kExportName = "HoVaneUpdate.DLL";
inline constexpr std::string_view kAppIdModuleKey = "AppID\\HoVaneUpdate.DLL";

// The control's OLE status flags (recompose on resize, cannot link inside,
// inside-out, activate when visible, set client site first): %OLEMISC%.
inline constexpr std::uint32_t kOleMiscStatus = 0x20191;
inline constexpr std::string_view kOleMiscText = "131473";

// The component categories the control implements.
inline constexpr std::string_view kCategorySafeForScripting = "Controls that are safely scriptable";
inline constexpr std::string_view kCategorySafeForInitializing =
    "Controls safely initializable from persistent data";

}  // namespace hovane::module_data
