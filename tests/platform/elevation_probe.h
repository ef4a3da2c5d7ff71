// The probe class of the elevation tests: a small object with text, boolean
// and number arguments both ways, built as a module (elevation_probe.so)
// that also holds the proxy class of its interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/component/dispatch.h"

namespace hovane::test {

inline constexpr platform::Guid kClsidElevationProbe{
    0x3F0A51C2, 0x6D1E, 0x4B7A, {0x9C, 0x20, 0x41, 0x5E, 0x8B, 0x77, 0x02, 0xD1}};
inline constexpr platform::Guid kIidElevationProbe{
    0x3F0A51C3, 0x6D1E, 0x4B7A, {0x9C, 0x20, 0x41, 0x5E, 0x8B, 0x77, 0x02, 0xD1}};
inline constexpr platform::Guid kAppIdElevationProbe{
    0x3F0A51C4, 0x6D1E, 0x4B7A, {0x9C, 0x20, 0x41, 0x5E, 0x8B, 0x77, 0x02, 0xD1}};

// Dispatch ids and names (names compare without case).
enum ProbeDispid : std::int32_t {
  kDispSetText = 1,    // SetText(String)
  kDispGetText = 2,    // GetText(Bool upper, out String)
  kDispNegate = 3,     // Negate(Bool, out Bool): S_FALSE when the result is 0
  kDispProcessId = 4,  // ProcessId(out Int32)
  kDispRunDialog = 5,  // RunDialog(out Bool): a modal dialog closed by a timer
};

class IElevationProbe : public platform::IDispatch {
 public:
  virtual HRESULT SetText(std::u16string_view text) = 0;
  virtual HRESULT GetText(VARIANT_BOOL upper, std::u16string* text) = 0;
  virtual HRESULT Negate(VARIANT_BOOL value, VARIANT_BOOL* result) = 0;
  virtual HRESULT ProcessId(std::int32_t* id) = 0;
  virtual HRESULT RunDialog(VARIANT_BOOL* ran) = 0;

 protected:
  ~IElevationProbe() = default;
};

// The file (host path, in the prefix root) the probe object writes when it
// is destroyed.
inline constexpr char kProbeReleasedMarker[] = "probe-released";

}  // namespace hovane::test
