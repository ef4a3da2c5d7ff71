// Component runtime, first part: per-thread apartments and loading modules.
//
// Apartments. Every thread starts in none. InitializeApartment puts the
// calling thread into a single- or multi-threaded apartment, as the system's
// component runtime does:
//   - the first call on a thread answers S_OK;
//   - a further call of the same kind answers S_FALSE (a success);
//   - a call of the other kind answers RPC_E_CHANGED_MODE and changes nothing.
// Every success is balanced by one UninitializeApartment; the thread leaves
// its apartment when the last one is balanced.
//
// Modules. A module is a shared object (the system's ".dll" and ".ocx" files
// are ELF shared objects here) loaded by path and unloaded when its
// LoadedModule is closed. Loading runs the module's initialisers; a module
// loaded several times stays loaded until every LoadedModule is closed.
//
// Threading: apartments are per thread. Loading, looking up exports and
// unloading may happen on any thread; one LoadedModule is used by one
// thread at a time.
#pragma once

#include <bit>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com/status.h"
#include "platform/export.h"

namespace hovane::platform {

enum class Apartment { None, SingleThreaded, MultiThreaded };

// kind is SingleThreaded or MultiThreaded; None answers E_INVALIDARG.
HOVANE_PLATFORM_API HRESULT InitializeApartment(Apartment kind);
// Balances one successful InitializeApartment of this thread; does nothing
// on a thread that is in no apartment.
HOVANE_PLATFORM_API void UninitializeApartment();
// The calling thread's apartment.
HOVANE_PLATFORM_API Apartment CurrentApartment();

enum class ModuleError {
  Ok = 0,
  NotFound,   // nothing at the path, or a path that maps nowhere
  BadModule,  // not a loadable module, or one of its dependencies is missing
};

struct ModuleLoadOptions {
  // Dependencies that lie in the module's own folder are used before any
  // others of the same name, as the system's altered search path does. A
  // dependency already loaded in the process is always used as it is.
  bool searchModuleFolder = true;
  // The module stays in the process after it is closed (for modules that
  // may not be unloaded under live objects, such as a GUI toolkit).
  bool neverUnload = false;
};

// A loaded module. Move-only; the module is unloaded (unless neverUnload)
// by Close() or the destructor.
class HOVANE_PLATFORM_API LoadedModule {
 public:
  LoadedModule();
  ~LoadedModule();
  LoadedModule(LoadedModule&&) noexcept;
  LoadedModule& operator=(LoadedModule&&) noexcept;
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  // Loads the module at a Windows-style path of the prefix. On failure the
  // result is closed, *error (when given) says why and *detail (when given)
  // holds the loader's own message.
  static LoadedModule Load(std::string_view path, const ModuleLoadOptions& options = {},
                           ModuleError* error = nullptr, std::string* detail = nullptr);
  // The same for a host path (UTF-8), for the layer's own modules.
  static LoadedModule LoadHostPath(const std::string& hostPath,
                                   const ModuleLoadOptions& options = {},
                                   ModuleError* error = nullptr, std::string* detail = nullptr);

  bool IsLoaded() const;
  // The address of an exported symbol, or nullptr when the module exports
  // none of that name.
  void* FindExport(std::string_view name) const;
  // FindExport as a function pointer of type Function*.
  template <class Function>
  Function* FindFunction(std::string_view name) const {
    return std::bit_cast<Function*>(FindExport(name));
  }
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The host folder (UTF-8) of this process's executable; "" when unknown.
// Programs find their installed companions (the module, the surrogate)
// relative to it.
HOVANE_PLATFORM_API std::string RunningExecutableFolder();

}  // namespace hovane::platform
