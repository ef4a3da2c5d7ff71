// The registrar: applies a registry script (resources/registry/*.regscript)
// to a classes root, writing its keys or removing them again.
//
// Script format, one key per line, indented two spaces per level below its
// parent:
//   name [= "default text"] [keep] [replace]
//     keep     never removed itself; removal only visits what is below it
//     replace  deleted with all its subkeys before it is written
//   @name = "text"  |  @name = dword <decimal>     a value of the key above
// Lines whose first non-blank character is '#' are comments. Names and
// texts may be quoted ("..."), texts must be. %NAME% in names and texts is
// replaced by the replacement of that name; %% is a single '%'. Texts are
// UTF-8 in the script and are written in the system code page.
//
// Threading: any thread; the registry service makes each change atomic, a
// script as a whole is not.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/com/status.h"
#include "platform/registry/registry.h"

namespace hovane::module {

// Replacement texts by name (without the percent signs), in the system
// code page.
using Replacements = std::map<std::string, std::string, std::less<>>;

enum class ScriptAction { Register, Unregister };

// Parses script and applies it below root. A malformed script, or a %NAME%
// without a replacement, answers E_INVALIDARG before anything is changed. A
// registry failure ends the run with its status; what was already done
// stays. Removal takes keys that are already gone as removed.
HRESULT ApplyRegistryScript(std::string_view script, const Replacements& replacements,
                            const platform::RegistryKey& root, ScriptAction action);

}  // namespace hovane::module
