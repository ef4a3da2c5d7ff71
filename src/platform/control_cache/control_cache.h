// Browser control cache service: the library through which the browser's
// control cache removes a control it once installed (the system loads it at
// run time for each removal, as Windows' cache library).
//
// The service is a module of its own, "libhovane-occache.so", which lies
// beside the platform library; it is loaded for each use, so a machine
// without it (or with a broken one) is a real state: Load fails. Its one
// export, RemoveControlByName, removes a cached control's registration:
//
//   RemoveControlByName(file, classId, typeLibId, forceRemove, isDistributionUnit)
//     file       narrow Windows-style path of the control file (system code page)
//     classId    the control's class id, 38 characters with braces
//     typeLibId  may be null; not used
//     forceRemove, isDistributionUnit  accepted, not used
//   Removes the class key "CLSID\{classId}" from the machine's and the
//   user's classes ("SOFTWARE\Classes", "Software\Classes") where its
//   InprocServer32 names this file, with the ProgID keys it names that point
//   back to it. A registration of the class for another file is left alone.
//   Returns S_OK when a registration was removed, S_FALSE when there was none
//   for this file, E_INVALIDARG for a null file or a malformed class id,
//   HresultFromWin32(2) when the file does not exist, E_ACCESSDENIED when a
//   registration could not be removed for lack of rights, E_FAIL otherwise.
//   It does not delete the file.
//
// Threading: any thread; each ControlCacheLibrary is used by one thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/status.h"
#include "platform/component/component.h"
#include "platform/export.h"

namespace hovane::platform {

using RemoveControlByNameEntry = HRESULT(const char* file, const char* classId,
                                         const char* typeLibId, std::int32_t forceRemove,
                                         std::uint32_t isDistributionUnit);
inline constexpr char kRemoveControlByNameExport[] = "RemoveControlByName";
inline constexpr char kControlCacheModuleName[] = "libhovane-occache.so";

// The loaded cache service. Move-only; unloaded by Close() or the destructor.
class HOVANE_PLATFORM_API ControlCacheLibrary {
 public:
  // Loads the service module; the result is not loaded when that fails.
  static ControlCacheLibrary Load();

  bool IsLoaded() const { return module_.IsLoaded(); }
  // The removal entry, or nullptr when the loaded module offers none.
  RemoveControlByNameEntry* RemoveEntry() const;
  void Close() { module_.Close(); }

 private:
  LoadedModule module_;
};

// The host path the service is loaded from: the one set by
// SetControlCacheModulePath, else kControlCacheModuleName beside the
// platform library.
HOVANE_PLATFORM_API std::string ControlCacheModulePath();
// Loads the service from another host path from now on ("" restores the
// default). For hosts and tests, before other threads use the service.
HOVANE_PLATFORM_API void SetControlCacheModulePath(const std::string& hostPath);

}  // namespace hovane::platform
