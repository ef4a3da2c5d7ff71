// Component runtime, second part: finding registered classes and creating
// their objects, as the system's runtime does for CoCreateInstance.
//
// The classes root. Class registrations live in the classes root of a hive:
// the current user's "Software\Classes" and the machine's
// "SOFTWARE\Classes". Lookups ask the user's first, then the machine's, so a
// per-user registration hides a per-machine one of the same class.
//
// Module paths. An InprocServer32 default value names the module either as
// a Windows-style path of the prefix ("C:\Windows\x.ocx") or, for modules
// that live outside the prefix (a build folder), as an absolute host path
// starting with '/'. Both are narrow text in the system code page.
//
// Loaded class modules stay in a process-wide table after their first use;
// FreeUnusedModules drops those whose DllCanUnloadNow answers S_OK.
//
// Threading: any thread. The objects made keep the threading rules of their
// class.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/status.h"
#include "platform/component/guid.h"
#include "platform/export.h"
#include "platform/registry/registry.h"

namespace hovane::platform {

enum class ClassesScope { Machine, User };

// The entry points of a class module, as the runtime calls them.
using DllGetClassObjectEntry = HRESULT(const Guid& clsid, const Guid& iid, void** object);
using DllCanUnloadNowEntry = HRESULT();

// Opens the classes root of scope ("SOFTWARE\Classes" of the machine,
// "Software\Classes" of the user) with the access asked for. Writing to the
// machine's fails with AccessDenied when this process may not write the
// machine hive.
HOVANE_PLATFORM_API RegStatus OpenClassesRoot(ClassesScope scope, RegAccess access,
                                              RegistryKey* root);

// The status that carries a registry failure (S_OK for Ok).
HOVANE_PLATFORM_API HRESULT StatusFromRegistry(RegStatus status);

// The default value text of subKey in the user's classes, else in the
// machine's; nullopt when neither has a non-empty one.
HOVANE_PLATFORM_API std::optional<std::string> LookUpClassesText(const std::string& subKey);

// Where a class is registered as an in-process server.
struct ClassRegistration {
  ClassesScope scope = ClassesScope::Machine;  // the hive whose "CLSID\{clsid}" answered
  std::string modulePath;                      // InprocServer32's default value, as stored
  std::string threadingModel;                  // InprocServer32's ThreadingModel, "" if none
};

// The class id a ProgID names ("<progId>\CLSID"'s default value), user
// classes first. CO_E_CLASSSTRING when neither classes root knows the ProgID
// or its CLSID value is no class id text.
HOVANE_PLATFORM_API HRESULT ClsidFromProgId(std::string_view progId, Guid* clsid);

// The first classes root (user, then machine) whose "CLSID\{clsid}\InprocServer32"
// has a non-empty default value. REGDB_E_CLASSNOTREG when neither has.
HOVANE_PLATFORM_API HRESULT FindClassRegistration(const Guid& clsid,
                                                  ClassRegistration* registration);

// The class object of clsid as iid: finds the registration, loads its
// module (once per process) and asks its DllGetClassObject. Answers
// REGDB_E_CLASSNOTREG (not registered), CO_E_DLLNOTFOUND (no module at the
// registered path), CO_E_ERRORINDLL (not a loadable module, or no
// DllGetClassObject export), or the module's own answer.
HOVANE_PLATFORM_API HRESULT GetClassObject(const Guid& clsid, const Guid& iid, void** object);

// A new object of clsid as iid: GetClassObject for IClassFactory, then its
// CreateInstance. Statuses as GetClassObject, or the class factory's.
HOVANE_PLATFORM_API HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** object);

// Drops the loaded class modules whose DllCanUnloadNow answers S_OK (a
// module without that export is kept). Returns how many were dropped.
HOVANE_PLATFORM_API std::size_t FreeUnusedModules();

// Whether the class module at this host path is in the table of loaded
// class modules.
HOVANE_PLATFORM_API bool IsClassModuleLoaded(const std::string& hostPath);

// The text a module registers as its own path (InprocServer32, %MODULE%):
// the host path of the loaded module that contains address, in the system
// code page; "" when no module contains it.
HOVANE_PLATFORM_API std::string ModuleRegistrationPath(const void* address);

// The host path (UTF-8) of a registered module path, as described above;
// "" when it maps nowhere.
HOVANE_PLATFORM_API std::string HostPathOfRegisteredModule(std::string_view registeredPath);

}  // namespace hovane::platform
