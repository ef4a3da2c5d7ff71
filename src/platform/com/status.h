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
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
// A thread's apartment was already initialised with the other concurrency model.
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
// A call to an object in another process broke off: the connection is gone.
inline constexpr HRESULT RPC_E_DISCONNECTED = static_cast<HRESULT>(0x80010108u);
// Class objects and activation.
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
// No proxy class is registered for the interface.
inline constexpr HRESULT REGDB_E_IIDNOTREG = static_cast<HRESULT>(0x80040155u);
// The server process could not be started, or ended before it answered.
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = static_cast<HRESULT>(0x80080005u);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x8004016Bu);
inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
inline constexpr HRESULT MK_E_SYNTAX = static_cast<HRESULT>(0x800401E4u);
// Self-registration: the class could not be registered.
inline constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);
// Late-bound calls.
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);

// The failure status that carries a system error number (facility 7), as
// the component interfaces report errors of the registry and the files.
inline constexpr HRESULT HresultFromWin32(std::uint32_t error) {
  return error == 0 ? S_OK : static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u);
}
// The user declined a consent prompt (ERROR_CANCELLED).
inline constexpr HRESULT kStatusCancelled = HresultFromWin32(1223);

// Booleans that cross the control's interface are written as 1 or 0, never -1.
inline constexpr VARIANT_BOOL kTrue16 = 1;
inline constexpr VARIANT_BOOL kFalse16 = 0;
inline constexpr VARIANT_BOOL ToVariantBool(bool value) { return value ? kTrue16 : kFalse16; }

}  // namespace hovane
