#include "module/registration.h"

#include <array>
#include <optional>
#include <utility>

#include "control/installer_interface.h"
#include "module/registrar.h"
#include "platform/codepage/codepage.h"
#include "platform/component/categories.h"
#include "platform/component/component.h"
#include "resources/interface_description.h"
#include "resources/module_data.h"

namespace hovane::module {
namespace {

using platform::ClassesScope;
using platform::FormatGuid;
using platform::RegAccess;
using platform::RegistryKey;
using platform::RegStatus;

constexpr platform::Guid kCatidSafeForScripting{
    0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
constexpr platform::Guid kCatidSafeForInitializing{
    0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

// The interface's method count as the proxy record states it: IUnknown's
// three and IDispatch's four entries, then the fourteen methods.
constexpr std::size_t kProxyMethodCount = 3 + 4 + interface_description::kMethods.size();

HRESULT Status(RegStatus status) { return platform::StatusFromRegistry(status); }

std::string Narrow(std::string_view utf8) {
  return platform::Utf8ToNarrow(utf8).value_or(std::string(utf8));
}

std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

HRESULT OpenRoot(ClassesScope scope, RegistryKey* root) {
  return Status(platform::OpenClassesRoot(scope, RegAccess::All, root));
}

// Creates subKey below root with a default text and named text values.
HRESULT WriteKey(const RegistryKey& root, const std::string& subKey,
                 std::optional<std::string> defaultText,
                 std::initializer_list<std::pair<std::string_view, std::string>> values = {}) {
  RegistryKey key;
  if (RegStatus status = root.Create(subKey, RegAccess::All, &key); status != RegStatus::Ok)
    return Status(status);
  if (defaultText) {
    if (RegStatus status = key.SetString("", *defaultText); status != RegStatus::Ok)
      return Status(status);
  }
  for (const auto& [name, text] : values)
    if (RegStatus status = key.SetString(name, text); status != RegStatus::Ok)
      return Status(status);
  return S_OK;
}

HRESULT RemoveKey(const RegistryKey& root, const std::string& subKey) {
  const RegStatus status = root.DeleteTree(subKey);
  return status == RegStatus::NotFound ? S_OK : Status(status);
}

Replacements ScriptReplacements(const std::string& modulePath) {
  return {{"MODULE", modulePath},
          {"APPID", FormatGuid(kAppIdHoVaneUpdate)},
          {"OLEMISC", std::string(module_data::kOleMiscText)}};
}

std::string TypeLibKey() { return "TypeLib\\" + FormatGuid(kLibidHoVaneUpdateLib); }
std::string InterfaceKey() { return "Interface\\" + FormatGuid(kIidIHoVaneUpdateInstaller); }
std::string ProxyClassKey() { return "CLSID\\" + FormatGuid(kIidIHoVaneUpdateInstaller); }

// The type library record: the library's version key with its help text,
// flags, the module for locale 0 and the help folder, and the interface
// pointing back to the library.
HRESULT RegisterTypeLibrary(const RegistryKey& root, const std::string& modulePath) {
  const std::string version = TypeLibKey() + "\\1.0";
  const std::string libid = FormatGuid(kLibidHoVaneUpdateLib);
  for (HRESULT status :
       {WriteKey(root, version, Narrow(interface_description::kLibraryHelp)),
        WriteKey(root, version + "\\FLAGS", "0"),
        WriteKey(root, version + "\\0\\win32", modulePath),
        WriteKey(root, version + "\\HELPDIR", FolderOf(modulePath)),
        WriteKey(root, InterfaceKey(), std::string(interface_description::kInterfaceName)),
        WriteKey(root, InterfaceKey() + "\\TypeLib", libid, {{"Version", "1.0"}})}) {
    if (status != S_OK) return status;
  }
  return S_OK;
}

HRESULT UnregisterTypeLibrary(const RegistryKey& root) {
  if (HRESULT status = RemoveKey(root, TypeLibKey()); status != S_OK) return status;
  return RemoveKey(root, InterfaceKey());
}

// The proxy record: the interface names its proxy class, whose id is the
// interface id, and that class is served by this module.
HRESULT RegisterProxy(const RegistryKey& root, const std::string& modulePath) {
  const std::string iid = FormatGuid(kIidIHoVaneUpdateInstaller);
  for (HRESULT status :
       {WriteKey(root, InterfaceKey(), std::string(interface_description::kInterfaceName)),
        WriteKey(root, InterfaceKey() + "\\NumMethods", std::to_string(kProxyMethodCount)),
        WriteKey(root, InterfaceKey() + "\\ProxyStubClsid32", iid),
        WriteKey(root, ProxyClassKey(), "PSFactoryBuffer"),
        WriteKey(root, ProxyClassKey() + "\\InprocServer32", modulePath,
                 {{"ThreadingModel", "Both"}})}) {
    if (status != S_OK) return status;
  }
  return S_OK;
}

HRESULT UnregisterProxy(const RegistryKey& root) {
  if (HRESULT status = RemoveKey(root, InterfaceKey()); status != S_OK) return status;
  return RemoveKey(root, ProxyClassKey());
}

// Each category call on its own, as the category manager is asked once per
// category and once per implemented category.
HRESULT RegisterSafetyCategories(ClassesScope scope) {
  auto wide = [](std::string_view utf8) {
    return platform::NarrowToUtf16(Narrow(utf8)).value_or(std::u16string());
  };
  const std::u16string scripting = wide(module_data::kCategorySafeForScripting);
  const std::u16string initializing = wide(module_data::kCategorySafeForInitializing);
  const platform::CategoryInfo categories[] = {
      {kCatidSafeForScripting, 0x409, scripting},
      {kCatidSafeForInitializing, 0x409, initializing},
  };
  for (const platform::CategoryInfo& category : categories)
    if (platform::RegisterCategories(scope, {&category, 1}) < 0) return SELFREG_E_CLASS;
  for (const platform::Guid& catid : {kCatidSafeForScripting, kCatidSafeForInitializing})
    if (platform::RegisterClassImplementedCategories(scope, kClsidHoVaneUpdateInstaller,
                                                     {&catid, 1}) < 0)
      return SELFREG_E_CLASS;
  return S_OK;
}

}  // namespace

HRESULT RegisterServer(ClassesScope scope, const std::string& modulePath) {
  RegistryKey root;
  if (HRESULT status = OpenRoot(scope, &root); status != S_OK) return status;
  const Replacements replacements = ScriptReplacements(modulePath);
  if (HRESULT status =
          ApplyRegistryScript(RegistryScript101(), replacements, root, ScriptAction::Register);
      status != S_OK)
    return status;
  if (HRESULT status =
          ApplyRegistryScript(RegistryScript104(), replacements, root, ScriptAction::Register);
      status != S_OK)
    return status;
  if (HRESULT status = RegisterTypeLibrary(root, modulePath); status != S_OK) return status;
  const HRESULT proxyStatus = RegisterProxy(root, modulePath);
  // The category manager is a component of the thread's apartment. The
  // apartment is never left again here, as the registration tools expect;
  // a thread already in the other kind keeps it.
  platform::InitializeApartment(platform::Apartment::SingleThreaded);
  if (RegisterSafetyCategories(scope) != S_OK) return SELFREG_E_CLASS;
  return proxyStatus;
}

HRESULT UnregisterServer(ClassesScope scope, const std::string& modulePath) {
  RegistryKey root;
  if (HRESULT status = OpenRoot(scope, &root); status != S_OK) return status;
  const Replacements replacements = ScriptReplacements(modulePath);
  if (HRESULT status =
          ApplyRegistryScript(RegistryScript104(), replacements, root, ScriptAction::Unregister);
      status != S_OK)
    return status;
  if (HRESULT status = UnregisterTypeLibrary(root); status != S_OK) return status;
  if (HRESULT status =
          ApplyRegistryScript(RegistryScript101(), replacements, root, ScriptAction::Unregister);
      status != S_OK)
    return status;
  if (HRESULT status = RegisterProxy(root, modulePath); status != S_OK) return status;
  return UnregisterProxy(root);
}

}  // namespace hovane::module
