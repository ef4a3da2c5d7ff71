// The prefix: the host folder that stands in for the Windows machine.
//
//   drive_c/Program Files
//   drive_c/users/<user>/AppData/Roaming
//   drive_c/windows, drive_c/windows/system32,
//   drive_c/windows/Downloaded Program Files
//   registry/            one database per hive
//
// Its root is $HOVANE_PREFIX, by default ${XDG_DATA_HOME:-~/.local/share}/hovane.
// The layout is created on first use (EnsurePrefixLayout), never removed.
//
// Threading: any thread. SetPrefixRoot is for start-up and tests, before
// other threads use the layer.
#pragma once

#include <string>

#include "platform/export.h"

namespace hovane::platform {

// Host path (UTF-8) of the prefix root, without a trailing '/'.
HOVANE_PLATFORM_API std::string PrefixRoot();

// Uses another root from now on (tests, the host's --prefix option).
HOVANE_PLATFORM_API void SetPrefixRoot(const std::string& hostPath);

// Creates the folders of the layout that are missing. Idempotent; false when
// one cannot be created.
HOVANE_PLATFORM_API bool EnsurePrefixLayout();

// The user's name as the layout uses it (drive_c/users/<name>): the login
// name when it is plain ASCII (letters, digits, '.', '_', '-'), else "user",
// so that it reads the same as narrow text and on disk.
HOVANE_PLATFORM_API std::string PrefixUserName();

}  // namespace hovane::platform
