// Status codes and the 16-bit boolean of the component interface, as the
// system's methods return them. Header-only; no behaviour.
#pragma once

#include <cstdint>

namespace hovane {

using HRESULT = std::int32_t;
using VARIANT_BOOL = std::int16_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
// A thread's apartment was already initialised with the other concurrency model.
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);

// The failure status that carries a system error number (facility 7), as
// the component interfaces report errors of the registry and the files.
inline constexpr HRESULT HresultFromWin32(std::uint32_t error) {
  return error == 0 ? S_OK : static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u);
}

// Booleans that cross the control's interface are written as 1 or 0, never -1.
inline constexpr VARIANT_BOOL kTrue16 = 1;
inline constexpr VARIANT_BOOL kFalse16 = 0;
inline constexpr VARIANT_BOOL ToVariantBool(bool value) { return value ? kTrue16 : kFalse16; }

}  // namespace hovane
