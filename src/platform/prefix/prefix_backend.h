// Backend of the prefix: what the host says about the user and its folders.
// Internal to the platform layer.
#pragma once

#include <string>

namespace hovane::platform::backend {

// The default prefix root: ${XDG_DATA_HOME:-~/.local/share}/hovane.
std::string DefaultPrefixRoot();
// The login name, or "" when the host has none.
std::string LoginName();
// Creates hostPath and its missing parents; true when it exists afterwards
// as a folder.
bool MakeHostFolders(const std::string& hostPath);

}  // namespace hovane::platform::backend
