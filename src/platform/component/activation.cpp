// In-process activation: the registry names the module, the module's class
// object makes the object.
#include "platform/component/activation.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/component/component.h"
#include "platform/registry/registry.h"

namespace hovane::platform {
namespace {

using GetClassObjectFunction = HRESULT(const Guid&, const Guid&, void**);

constexpr RegistryHive kLookupOrder[] = {RegistryHive::CurrentUser, RegistryHive::LocalMachine};

const char* ClassesRoot(RegistryHive hive) {
  return hive == RegistryHive::CurrentUser ? "Software\\Classes\\" : "SOFTWARE\\Classes\\";
}

// The first hive whose classes hold a non-empty default value at subKey.
std::optional<std::string> LookUpClassesText(const std::string& subKey) {
  for (RegistryHive hive : kLookupOrder) {
    RegistryKey key;
    if (OpenRegistryKey(hive, ClassesRoot(hive) + subKey, RegAccess::Read, &key) != RegStatus::Ok)
      continue;
    std::string text;
    if (key.QueryString("", &text) == RegStatus::Ok && !text.empty()) return text;
  }
  return std::nullopt;
}

// Modules stay loaded for the life of the process: objects they made may be
// alive anywhere, and nothing here tracks them.
struct ModuleTable {
  std::mutex mutex;
  std::map<std::string, LoadedModule> modules;
};

ModuleTable& Modules() {
  static auto* table = new ModuleTable;
  return *table;
}

}  // namespace

HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const auto path = LookUpClassesText("CLSID\\" + FormatGuid(clsid) + "\\InprocServer32");
  if (!path) return REGDB_E_CLASSNOTREG;

  GetClassObjectFunction* getClassObject = nullptr;
  {
    ModuleTable& table = Modules();
    std::lock_guard lock(table.mutex);
    auto found = table.modules.find(*path);
    if (found == table.modules.end()) {
      LoadedModule module = LoadedModule::Load(*path, {.neverUnload = true});
      if (!module.IsLoaded()) return CO_E_DLLNOTFOUND;
      found = table.modules.emplace(*path, std::move(module)).first;
    }
    getClassObject = found->second.FindFunction<GetClassObjectFunction>("DllGetClassObject");
  }
  if (getClassObject == nullptr) return CO_E_ERRORINDLL;

  ComPtr<IClassFactory> factory;
  const HRESULT status = getClassObject(clsid, kIidIClassFactory, factory.Out());
  if (status != S_OK) return status;
  if (!factory) return E_UNEXPECTED;
  return factory->CreateInstance(nullptr, iid, object);
}

HRESULT ClsidFromProgId(std::string_view progId, Guid* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = {};
  if (progId.empty()) return CO_E_CLASSSTRING;
  const auto text = LookUpClassesText(std::string(progId) + "\\CLSID");
  if (!text) return REGDB_E_CLASSNOTREG;
  const auto parsed = ParseGuid(*text);
  if (!parsed) return CO_E_CLASSSTRING;
  *clsid = *parsed;
  return S_OK;
}

}  // namespace hovane::platform
