// Process and window list: the running processes and their top-level
// windows, as the system asks for them on Windows.
//
// Processes come from the host's process list (/proc). A process's
// executable file name is the last component of argv[0] of its command
// line, split at '/' and at '\' (so a program started under a Windows-style
// path keeps the name it was started as), converted to the system code page
// with '?' for a character it cannot hold. A process with an empty command
// line (a kernel thread, a process that is exiting) is named by the kernel's
// short name. Entries come in ascending process id.
//
// Windows come from the X display named by DISPLAY, when there is one that
// can be opened; otherwise there are none. Top-level windows are the
// windows of client programs: the window tree is walked down from each root
// to the windows that carry WM_STATE or _NET_WM_PID, mapped or not, so that
// the frames of a reparenting window manager do not hide them. A window's
// process is the one its _NET_WM_PID names (0 when it names none). Windows
// come top of the stacking order first.
//
// Threading: any thread. SetProcessListRoot is for tests, before other
// threads use the service.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/export.h"

namespace hovane::platform {

struct ProcessEntry {
  std::uint32_t processId = 0;
  std::string exeFile;  // narrow, system code page
};

// A snapshot of the running processes; nullopt when the process list
// cannot be read at all.
HOVANE_PLATFORM_API std::optional<std::vector<ProcessEntry>> SnapshotProcesses();

// Reads the process list from another folder laid out like /proc ("" gives
// /proc back). For tests of an unreadable or empty process list.
HOVANE_PLATFORM_API void SetProcessListRoot(const std::string& hostFolder);

// A window's identity on the display; 0 is no window.
using WindowHandle = std::uintptr_t;

struct TopLevelWindow {
  WindowHandle window = 0;
  std::uint32_t processId = 0;
};

// The top-level windows of the display, top first; empty without a display.
HOVANE_PLATFORM_API std::vector<TopLevelWindow> ListTopLevelWindows();

}  // namespace hovane::platform
