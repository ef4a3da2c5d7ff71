// The description of the control's scriptable interface: the library, the
// interface and its fourteen methods with their dispatch ids, parameters and
// help texts. Dispatch by name and the type library record are built from
// this table. Texts are UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace hovane::interface_description {

enum class ParamType { Bool, BoolPointer, String };
enum class ParamDirection {
  In,
  OutRetval,  // [out, retval]
  Unmarked,   // a pointer without a direction attribute
};

struct Param {
  std::string_view name;
  ParamType type;
  ParamDirection direction;
};

struct Method {
  std::int32_t dispid;
  std::string_view name;
  std::array<Param, 2> params;
  std::size_t paramCount;
};

inline constexpr std::string_view kLibraryName = "HoVaneUpdateLib";
inline constexpr std::uint16_t kLibraryMajor = 1;
inline constexpr std::uint16_t kLibraryMinor = 0;
inline constexpr std::uint32_t kLibraryLocale = 0x409;
inline constexpr std::string_view kLibraryHelp = "HoVaneUpdate 1.0 형식 라이브러리";
inline constexpr std::string_view kInterfaceName = "IHoVaneUpdateInstaller";
inline constexpr std::string_view kInterfaceHelp = "IHoVaneUpdateInstaller 인터페이스";
inline constexpr std::string_view kCoclassName = "HoVaneUpdateInstaller";
inline constexpr std::string_view kCoclassHelp = "HoVaneUpdateInstaller Class";
inline constexpr std::string_view kEventsName = "_IHoVaneUpdateInstallerEvents";
inline constexpr std::string_view kEventsHelp = "_IHoVaneUpdateInstallerEvents Interface";
// A method's help text is this prefix followed by its name.
inline constexpr std::string_view kMethodHelpPrefix = "메서드 ";
// The interface's dispatch table starts after the seven IDispatch entries.
inline constexpr std::size_t kFirstMethodSlot = 7;

inline constexpr Param kResultOut{"bResult", ParamType::BoolPointer, ParamDirection::OutRetval};
inline constexpr Param kResultUnmarked{"bResult", ParamType::BoolPointer, ParamDirection::Unmarked};
inline constexpr Param kNone{"", ParamType::Bool, ParamDirection::In};

inline constexpr std::array<Method, 14> kMethods = {{
    {1, "CheckVersion", {kResultOut, kNone}, 1},
    {2, "RealCheckVersion", {kResultUnmarked, kNone}, 1},
    {3, "DeleteOldFile", {kResultUnmarked, kNone}, 1},
    {4, "IsSucessed", {kResultOut, kNone}, 1},
    {5, "CheckUpdateDlg", {kResultOut, kNone}, 1},
    {6, "DeleteGarbageFile", {kResultUnmarked, kNone}, 1},
    {7, "DeleteInstalledFile", {{{"strFileName", ParamType::String, ParamDirection::In}, kResultOut}}, 2},
    {8, "DeleteInstalledFolder", {kResultOut, kNone}, 1},
    {9, "IsUpdateCheck", {kResultOut, kNone}, 1},
    {10, "SetAllFileInstall", {kResultOut, kNone}, 1},
    {11, "SetInstallServerInfo",
     {{{"strKey", ParamType::String, ParamDirection::In},
       {"strValue", ParamType::String, ParamDirection::In}}},
     2},
    {12, "SetVirsionUrl", {{{"strUrl", ParamType::String, ParamDirection::In}, kNone}}, 1},
    {13, "SetForeign", {{{"bIsForeign", ParamType::Bool, ParamDirection::In}, kNone}}, 1},
    {14, "SingleCheckVersion", {kResultUnmarked, kNone}, 1},
}};

// The method with this name (compared without case, as script names are),
// or nullptr.
constexpr const Method* FindMethod(std::string_view name) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  for (const Method& method : kMethods) {
    if (method.name.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i)
      same = lower(method.name[i]) == lower(name[i]);
    if (same) return &method;
  }
  return nullptr;
}

}  // namespace hovane::interface_description
