// Registration of the module: the AppID and class entries of registry
// scripts 101 and 104, the type library record, the proxy record and the
// two safety categories, written to or removed from one classes root.
//
// modulePath is the text written for %MODULE% (ModuleRegistrationPath).
// Threading: the caller's thread; not to be run twice at once.
#pragma once

#include <string>

#include "platform/com/status.h"
#include "platform/component/activation.h"

namespace hovane::module {

// The scripts as the module carries them (UTF-8).
std::string_view RegistryScript101();
std::string_view RegistryScript104();

// Writes scripts 101 and 104 and the type library record (a failure there
// is answered at once), then the proxy record, then makes the two safety
// categories and registers the class as implementing them: SELFREG_E_CLASS
// when any category call fails, otherwise the proxy record's status.
HRESULT RegisterServer(platform::ClassesScope scope, const std::string& modulePath);

// Removes script 104's entries, the type library record and script 101's
// entries (a failure is answered at once), then writes the proxy record
// once more and removes it: its status. Category entries stay.
HRESULT UnregisterServer(platform::ClassesScope scope, const std::string& modulePath);

}  // namespace hovane::module
