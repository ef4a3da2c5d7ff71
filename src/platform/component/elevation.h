// The elevation moniker: an object of a class created in a separate
// administrator process (the surrogate), reached through a proxy.
//
//   BindToObject(u"Elevation:Administrator!new:{class id}", iid, &object)
//
// The prefix "Elevation:Administrator!new:" is compared without regard to
// case; the class id is its 38-character registry text. Anything else is
// MK_E_SYNTAX.
//
// Registration. A class may be elevated only when the machine's classes
// ("SOFTWARE\Classes") register it so: "CLSID\{class id}\Elevation" with the
// 32-bit number Enabled = 1, an AppID value on the class key naming an
// "AppID\{app id}" key that has a DllSurrogate value (this layer has one
// surrogate, so its text is not used), and a non-empty LocalizedString
// value on the class key. The current user's classes do not count: an
// administrator process must not run code that any user could register.
// A class that is not registered so fails as a declined prompt does
// (kStatusCancelled).
//
// Consent. When this process may already write the machine areas of the
// prefix (the machine hive, the registry folder, drive_c/Program Files,
// drive_c/windows with system32 and Downloaded Program Files), the
// surrogate starts directly with this process's rights, environment and
// terminal. Otherwise the creation fails as declined (kStatusCancelled) and
// a note on the standard error stream says that the prefix needs
// administrator rights.
//
// The surrogate is the program hovane-surrogate (see SurrogateProgram). It
// is started with the class id and one end of a connected pair, and with
// HOVANE_PREFIX set to this process's prefix root; it creates the object
// in-process (CreateInstance), serves its IDispatch, and announces the
// outcome. BindToObject returns only after that announcement: the status of
// a failed creation is returned as it is, CO_E_SERVER_EXEC_FAILURE when the
// surrogate cannot be started or ends without an answer.
//
// The object handed back is the interface's proxy. The proxy class is the
// one "Interface\{iid}\ProxyStubClsid32" names, and its module the one
// "CLSID\{proxy class}\InprocServer32" names, each looked up in the user's
// classes first, then the machine's; the module's
// DllGetClassObject(proxy class, kIidIProxyFactory) wraps the channel.
// REGDB_E_IIDNOTREG when no proxy class is registered; kIidIDispatch and
// kIidIUnknown need none (the channel itself is handed back). Proxy modules
// stay loaded for the life of the process. The surrogate ends when the last
// reference to the proxy goes.
//
// Threading: any thread; the object is used by one thread at a time.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/component/guid.h"
#include "platform/component/unknown.h"
#include "platform/export.h"

namespace hovane::platform {

HOVANE_PLATFORM_API HRESULT BindToObject(std::u16string_view moniker, const Guid& iid,
                                         void** object);

// The class id of an elevation moniker; nullopt when it is malformed.
HOVANE_PLATFORM_API std::optional<Guid> ParseElevationMoniker(std::u16string_view moniker);

// Whether the machine's classes register clsid for elevation (see above).
HOVANE_PLATFORM_API bool IsRegisteredForElevation(const Guid& clsid);

// Whether this process may write every machine area of the prefix at
// prefixRoot (a host folder), checked with its real rights.
HOVANE_PLATFORM_API bool MayWriteMachineAreas(const std::string& prefixRoot);

// The surrogate program: hovane-surrogate beside the running executable or
// in ../libexec from it; else the program that HOVANE_SURROGATE names; else
// the installed one in the configured libexec folder. "" when none of them
// is an executable file.
HOVANE_PLATFORM_API std::string SurrogateProgram();

// The note shown when consent is refused, for a prefix at prefixRoot.
HOVANE_PLATFORM_API std::string AdministratorRightsNote(const std::string& prefixRoot);

}  // namespace hovane::platform
