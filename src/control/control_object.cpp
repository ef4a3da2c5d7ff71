// The control as a component object: reference count, interfaces, the
// module lock it holds, late-bound calls through the interface description,
// and its persisted extent.
#include <string>

#include "control/control.h"
#include "control/settings.h"
#include "resources/interface_description.h"

namespace hovane {
namespace {

namespace description = interface_description;
using platform::Variant;

// Whether an argument may be passed for a parameter. Nothing is coerced:
// the interface is driven by the host's script layer, which already hands
// over the declared types.
bool Accepts(const description::Param& param, const Variant& arg) {
  switch (param.type) {
    case description::ParamType::String:
      return arg.type == Variant::Type::String || arg.type == Variant::Type::Empty;
    case description::ParamType::Bool:
      return arg.type == Variant::Type::Bool;
    case description::ParamType::BoolPointer:
      return arg.type == Variant::Type::Bool || arg.type == Variant::Type::Empty;
  }
  return false;
}

}  // namespace

CHoVaneUpdateInstaller::CHoVaneUpdateInstaller() { TheModule().Lock(); }

CHoVaneUpdateInstaller::~CHoVaneUpdateInstaller() { TheModule().Unlock(); }

HRESULT CHoVaneUpdateInstaller::QueryInterface(const platform::Guid& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == platform::kIidIUnknown || iid == platform::kIidIDispatch ||
      iid == kIidIHoVaneUpdateInstaller) {
    *object = static_cast<IHoVaneUpdateInstaller*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

std::uint32_t CHoVaneUpdateInstaller::AddRef() { return ++m_nRefCount; }

std::uint32_t CHoVaneUpdateInstaller::Release() {
  const std::uint32_t count = --m_nRefCount;
  if (count == 0) delete this;
  return count;
}

HRESULT CHoVaneUpdateInstaller::GetIDOfName(std::u16string_view name, std::int32_t* dispid) {
  if (dispid == nullptr) return E_POINTER;
  *dispid = -1;
  // Method names are ASCII; a name with any other character matches none.
  std::string ascii;
  for (char16_t c : name) {
    if (c == 0 || c > 0x7F) return DISP_E_UNKNOWNNAME;
    ascii += static_cast<char>(c);
  }
  const description::Method* method = description::FindMethod(ascii);
  if (method == nullptr) return DISP_E_UNKNOWNNAME;
  *dispid = method->dispid;
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::Invoke(std::int32_t dispid, std::span<Variant> args) {
  if (dispid < 1 || dispid > static_cast<std::int32_t>(description::kMethods.size()))
    return DISP_E_MEMBERNOTFOUND;
  const description::Method& method = description::kMethods[static_cast<std::size_t>(dispid - 1)];
  if (args.size() != method.paramCount) return DISP_E_BADPARAMCOUNT;
  for (std::size_t i = 0; i < args.size(); ++i)
    if (!Accepts(method.params[i], args[i])) return DISP_E_TYPEMISMATCH;

  // The out parameter starts from what the caller passed (Empty as 0), so a
  // method that fails before writing hands that value back as a Bool.
  VARIANT_BOOL out = 0;
  Variant* outArg = nullptr;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (method.params[i].type != description::ParamType::BoolPointer) continue;
    outArg = &args[i];
    out = args[i].type == Variant::Type::Bool ? args[i].boolValue : VARIANT_BOOL{0};
  }
  auto text = [&](std::size_t i) -> std::u16string_view { return args[i].stringValue; };

  HRESULT status = S_OK;
  switch (dispid) {
    case 1:
      status = CheckVersion(&out);
      break;
    case 2:
      status = RealCheckVersion(&out);
      break;
    case 3:
      status = DeleteOldFile(&out);
      break;
    case 4:
      status = IsSucessed(&out);
      break;
    case 5:
      status = CheckUpdateDlg(&out);
      break;
    case 6:
      status = DeleteGarbageFile(&out);
      break;
    case 7:
      status = DeleteInstalledFile(text(0), &out);
      break;
    case 8:
      status = DeleteInstalledFolder(&out);
      break;
    case 9:
      status = IsUpdateCheck(&out);
      break;
    case 10:
      status = SetAllFileInstall(&out);
      break;
    case 11:
      status = SetInstallServerInfo(text(0), text(1));
      break;
    case 12:
      status = SetVirsionUrl(text(0));
      break;
    case 13:
      status = SetForeign(args[0].boolValue);
      break;
    case 14:
      status = SingleCheckVersion(&out);
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  if (outArg != nullptr) *outArg = Variant::Bool(out);
  return status;
}

void CHoVaneUpdateInstaller::SaveExtent(std::map<std::string, std::int32_t>* properties) const {
  (*properties)["_cx"] = m_sizeExtent.cx;
  (*properties)["_cy"] = m_sizeExtent.cy;
}

void CHoVaneUpdateInstaller::LoadExtent(const std::map<std::string, std::int32_t>& properties) {
  if (auto cx = properties.find("_cx"); cx != properties.end()) m_sizeExtent.cx = cx->second;
  if (auto cy = properties.find("_cy"); cy != properties.end()) m_sizeExtent.cy = cy->second;
}

}  // namespace hovane
