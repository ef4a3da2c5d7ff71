// Install locations: every folder of the system is derived from the
// program-files folder and a per-user base folder. Paths are narrow
// Windows-style strings joined with a single backslash, never normalised.
//
//   install folder  program files + "\Hovane"
//   data folder     per-user base + "\Hovane"
//   temp folder     install folder + "\temp"
//   del folder      temp folder + "\del"
//
// Threading: any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hovane {

inline constexpr char kInstallFolderName[] = "Hovane";
inline constexpr char kTempFolderName[] = "temp";
inline constexpr char kDelFolderName[] = "del";
// Buffers that hold a path have this many bytes, terminating zero included.
inline constexpr std::size_t kMaxPathBuffer = 260;

// The program-files folder; "" when the platform cannot name it, so that
// every path formed from it maps nowhere and fails as not found.
std::string GetProgramFilesFolder();

// The install folder, asked afresh at each call.
std::string GetInstallFolder();

// The per-user base folder: the application-data folder on an NT-family
// system of major version 5 or later, else the program-files folder. The
// choice follows the OS version read once, at the first call in the process.
std::string GetUserBaseFolder();

// The temp folder below the install folder.
std::string GetTempFolder();

// Creates path and its missing parents. True when the last creation
// succeeded (an existing folder gives false); callers do not rely on it.
bool CreateDirectoryTree(std::string_view path);

// True when name names exactly one file inside a folder: not empty, not
// "." or "..", and without separators, a drive colon or control
// characters (double-byte characters are read as wholes). Names from the
// file server must pass before they become files in the temp folder or the
// install folder.
bool IsPlainFileName(std::string_view name);

// Replaces every "\\\\" by "\\" in one left-to-right pass, so a run of three
// backslashes becomes two.
std::string CollapseDoubledBackslashes(std::string_view path);

// Forgets the OS version read by GetUserBaseFolder, so that the next call
// reads it again (tests that emulate another system).
void ReloadOsVersionForTesting();

}  // namespace hovane
