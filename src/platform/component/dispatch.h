// Late-bound calls: methods called by dispatch id or by name with variant
// arguments, as a script on a page calls a control. The control's dispatch
// table comes from its interface description; a proxy forwards the same
// calls to an object in another process.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/component/unknown.h"

namespace hovane::platform {

inline constexpr Guid kIidIDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// An argument or result of a late-bound call.
struct Variant {
  enum class Type : std::uint8_t { Empty, Bool, Int32, String };
  Type type = Type::Empty;
  VARIANT_BOOL boolValue = 0;
  std::int32_t intValue = 0;
  std::u16string stringValue;

  static Variant Bool(VARIANT_BOOL value) { return {Type::Bool, value, 0, {}}; }
  static Variant Int32(std::int32_t value) { return {Type::Int32, 0, value, {}}; }
  static Variant String(std::u16string value) { return {Type::String, 0, 0, std::move(value)}; }
  friend bool operator==(const Variant&, const Variant&) = default;
};

class IDispatch : public IUnknown {
 public:
  // The dispatch id of the method called name (compared without case), or
  // DISP_E_UNKNOWNNAME.
  virtual HRESULT GetIDOfName(std::u16string_view name, std::int32_t* dispid) = 0;
  // Calls the method dispid. args holds one variant per parameter, in
  // declaration order. A text parameter takes a String, a boolean one a
  // Bool; an out (pointer) parameter is passed in/out: the method
  // overwrites its variant with the Bool it writes. Answers the method's
  // own status, or DISP_E_MEMBERNOTFOUND (no such id), DISP_E_BADPARAMCOUNT,
  // DISP_E_TYPEMISMATCH (an argument of the wrong type; nothing is called).
  virtual HRESULT Invoke(std::int32_t dispid, std::span<Variant> args) = 0;

 protected:
  ~IDispatch() = default;
};

// The class object of an interface's proxy: wraps a late-bound channel to
// an object elsewhere (another process) into the interface iid, so that the
// caller sees the same interface as an in-process object offers. Modules
// hand it out from DllGetClassObject for their registered interface ids
// (the classes root's "Interface\{iid}\ProxyStubClsid32").
inline constexpr Guid kIidIProxyFactory{0x5E1C3A20, 0x7B4D, 0x4F0E, {0x9A, 0x61, 0x2C, 0x8D, 0x13, 0xF4, 0x6B, 0x01}};
class IProxyFactory : public IUnknown {
 public:
  // channel: AddRef'ed by the proxy and released when the proxy goes.
  virtual HRESULT CreateProxy(IDispatch* channel, const Guid& iid, void** object) = 0;

 protected:
  ~IProxyFactory() = default;
};

}  // namespace hovane::platform
