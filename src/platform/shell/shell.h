// Shell folders and the operating-system version, as the system asks for
// them on Windows. Folders are narrow Windows-style paths inside the prefix,
// without a trailing separator:
//   program files        C:\Program Files
//   application data     C:\users\<user>\AppData\Roaming
//   Windows folder       C:\windows
//   system folder        C:\windows\system32
// Asking for a folder lays out the prefix first (EnsurePrefixLayout).
//
// The OS version is emulated: by default platform 2 (NT family), 6.1.
// HOVANE_OS_VERSION="platform.major.minor" (for example "2.5.1" or "1.4.10")
// sets it for a process; "fail" makes the query fail, as a broken system would.
//
// Threading: any thread.
#pragma once

#include <optional>
#include <string>

#include "platform/export.h"

namespace hovane::platform {

enum class ShellFolder {
  ProgramFiles = 38,    // CSIDL_PROGRAM_FILES
  ApplicationData = 26, // CSIDL_APPDATA
};

// The folder's path; nullopt when it cannot be named (the prefix cannot be
// laid out).
HOVANE_PLATFORM_API std::optional<std::string> GetShellFolder(ShellFolder folder);
HOVANE_PLATFORM_API std::string GetWindowsFolder();
HOVANE_PLATFORM_API std::string GetSystemFolder();

struct OsVersion {
  unsigned platformId = 2;  // 2: NT family; 1: the older family
  unsigned major = 6;
  unsigned minor = 1;
};

// The emulated version; nullopt when the query fails.
HOVANE_PLATFORM_API std::optional<OsVersion> GetOsVersion();

// Overrides the version for this process (tests); nullopt makes queries fail.
// The environment is read once, at the first query that no override precedes.
HOVANE_PLATFORM_API void SetOsVersion(std::optional<OsVersion> version);

}  // namespace hovane::platform
