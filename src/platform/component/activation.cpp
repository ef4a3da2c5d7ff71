// Activation: the registry lookups of classes and ProgIDs, and the table of
// loaded class modules. No operating-system call of its own: modules are
// loaded through LoadedModule, paths mapped through the files service.
#include "platform/component/activation.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/component/component.h"
#include "platform/component/component_backend.h"
#include "platform/component/unknown.h"
#include "platform/files/files.h"

namespace hovane::platform {
namespace {

constexpr std::string_view kMachineClasses = "SOFTWARE\\Classes";
constexpr std::string_view kUserClasses = "Software\\Classes";
constexpr ClassesScope kLookupOrder[] = {ClassesScope::User, ClassesScope::Machine};

// The default value of a key below a classes root; nullopt when the key or
// the value is missing or is no text.
std::optional<std::string> DefaultText(ClassesScope scope, const std::string& subKey,
                                       std::string_view valueName = {}) {
  RegistryKey root;
  if (OpenClassesRoot(scope, RegAccess::Read, &root) != RegStatus::Ok) return std::nullopt;
  RegistryKey key;
  if (root.Open(subKey, RegAccess::Read, &key) != RegStatus::Ok) return std::nullopt;
  std::string text;
  if (key.QueryString(valueName, &text) != RegStatus::Ok) return std::nullopt;
  return text;
}

struct ClassModule {
  LoadedModule module;
  DllGetClassObjectEntry* getClassObject = nullptr;
  DllCanUnloadNowEntry* canUnloadNow = nullptr;
};

// Loaded class modules by host path. Deliberately never destroyed: at
// process exit the modules' own static objects may still be in use by
// objects that were never released, so they go with the process.
struct ModuleTable {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<ClassModule>> modules;
};

ModuleTable& Table() {
  static ModuleTable* table = new ModuleTable;
  return *table;
}

// The DllGetClassObject of the module at hostPath, loading it on first use.
HRESULT ClassObjectEntry(const std::string& hostPath, DllGetClassObjectEntry** entry) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto found = table.modules.find(hostPath);
  if (found == table.modules.end()) {
    ModuleError error = ModuleError::Ok;
    auto loaded = std::make_unique<ClassModule>();
    loaded->module = LoadedModule::LoadHostPath(hostPath, {}, &error);
    if (!loaded->module.IsLoaded())
      return error == ModuleError::NotFound ? CO_E_DLLNOTFOUND : CO_E_ERRORINDLL;
    loaded->getClassObject =
        loaded->module.FindFunction<DllGetClassObjectEntry>("DllGetClassObject");
    loaded->canUnloadNow = loaded->module.FindFunction<DllCanUnloadNowEntry>("DllCanUnloadNow");
    // A module without the entry is useless as a class module; it is not
    // kept, so a fixed module is found on the next attempt.
    if (loaded->getClassObject == nullptr) return CO_E_ERRORINDLL;
    found = table.modules.emplace(hostPath, std::move(loaded)).first;
  }
  *entry = found->second->getClassObject;
  return S_OK;
}

}  // namespace

RegStatus OpenClassesRoot(ClassesScope scope, RegAccess access, RegistryKey* root) {
  const RegistryHive hive =
      scope == ClassesScope::Machine ? RegistryHive::LocalMachine : RegistryHive::CurrentUser;
  return OpenRegistryKey(hive, scope == ClassesScope::Machine ? kMachineClasses : kUserClasses,
                         access, root);
}

HRESULT StatusFromRegistry(RegStatus status) {
  return HresultFromWin32(static_cast<std::uint32_t>(status));
}

std::optional<std::string> LookUpClassesText(const std::string& subKey) {
  for (ClassesScope scope : kLookupOrder) {
    auto text = DefaultText(scope, subKey);
    if (text && !text->empty()) return text;
  }
  return std::nullopt;
}

HRESULT ClsidFromProgId(std::string_view progId, Guid* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = Guid{};
  if (progId.empty() || progId.find('\\') != std::string_view::npos) return CO_E_CLASSSTRING;
  for (ClassesScope scope : kLookupOrder) {
    const auto text = DefaultText(scope, std::string(progId) + "\\CLSID");
    if (!text) continue;
    const auto parsed = ParseGuid(*text);
    if (!parsed) return CO_E_CLASSSTRING;
    *clsid = *parsed;
    return S_OK;
  }
  return CO_E_CLASSSTRING;
}

HRESULT FindClassRegistration(const Guid& clsid, ClassRegistration* registration) {
  if (registration == nullptr) return E_POINTER;
  const std::string key = "CLSID\\" + FormatGuid(clsid) + "\\InprocServer32";
  for (ClassesScope scope : kLookupOrder) {
    const auto path = DefaultText(scope, key);
    if (!path || path->empty()) continue;
    registration->scope = scope;
    registration->modulePath = *path;
    registration->threadingModel = DefaultText(scope, key, "ThreadingModel").value_or("");
    return S_OK;
  }
  return REGDB_E_CLASSNOTREG;
}

std::string HostPathOfRegisteredModule(std::string_view registeredPath) {
  if (!registeredPath.empty() && registeredPath.front() == '/')
    return NarrowToUtf8(registeredPath).value_or(std::string());
  return ToHostPath(registeredPath).value_or(std::string());
}

HRESULT GetClassObject(const Guid& clsid, const Guid& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ClassRegistration registration;
  if (HRESULT status = FindClassRegistration(clsid, &registration); status != S_OK) return status;
  const std::string hostPath = HostPathOfRegisteredModule(registration.modulePath);
  if (hostPath.empty()) return CO_E_DLLNOTFOUND;
  DllGetClassObjectEntry* entry = nullptr;
  if (HRESULT status = ClassObjectEntry(hostPath, &entry); status != S_OK) return status;
  // The module is called outside the table's lock: its class object may
  // itself create objects through this runtime.
  const HRESULT status = entry(clsid, iid, object);
  if (status < 0) *object = nullptr;
  return status;
}

HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ComPtr<IClassFactory> factory;
  if (HRESULT status = GetClassObject(clsid, kIidIClassFactory, factory.Out()); status < 0)
    return status;
  if (!factory) return E_UNEXPECTED;
  const HRESULT status = factory->CreateInstance(nullptr, iid, object);
  if (status < 0) *object = nullptr;
  return status;
}

std::size_t FreeUnusedModules() {
  ModuleTable& table = Table();
  std::vector<std::unique_ptr<ClassModule>> unused;
  {
    // DllCanUnloadNow is asked under the lock, so that no other thread
    // finds a module in the table between its answer and its drop. The
    // modules are closed after the lock is released.
    std::lock_guard lock(table.mutex);
    for (auto it = table.modules.begin(); it != table.modules.end();) {
      DllCanUnloadNowEntry* canUnload = it->second->canUnloadNow;
      if (canUnload != nullptr && canUnload() == S_OK) {
        unused.push_back(std::move(it->second));
        it = table.modules.erase(it);
      } else {
        ++it;
      }
    }
  }
  return unused.size();
}

bool IsClassModuleLoaded(const std::string& hostPath) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  return table.modules.count(hostPath) != 0;
}

std::string ModuleRegistrationPath(const void* address) {
  const std::string host = backend::HostModulePathOf(address);
  if (host.empty()) return {};
  return Utf8ToNarrow(host).value_or(std::string());
}

}  // namespace hovane::platform
