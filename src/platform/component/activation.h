// Creating objects by class id through the registry (in-process servers).
//
// A class is looked up in the current user's classes first, then in the
// machine's ("Software\Classes" / "SOFTWARE\Classes"): the default value of
// "CLSID\{class id}\InprocServer32" names its module (a Windows-style path
// of the prefix). The module is loaded once per process and stays loaded;
// its DllGetClassObject hands out the class object, which makes the object.
//
// Threading: any thread; the object belongs to the calling thread.
#pragma once

#include <string_view>

#include "platform/component/guid.h"
#include "platform/component/unknown.h"
#include "platform/export.h"

namespace hovane::platform {

// Creates a new object of class clsid and puts its iid interface in *object.
// REGDB_E_CLASSNOTREG when no classes root names a module for the class,
// CO_E_DLLNOTFOUND when the module cannot be loaded, CO_E_ERRORINDLL when it
// has no DllGetClassObject, otherwise the status of the class object.
HOVANE_PLATFORM_API HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** object);

// The class id that a ProgID's "CLSID" subkey names (user classes first).
// REGDB_E_CLASSNOTREG / CO_E_CLASSSTRING when there is none or it is malformed.
HOVANE_PLATFORM_API HRESULT ClsidFromProgId(std::string_view progId, Guid* clsid);

}  // namespace hovane::platform
