// The running-program check: before a download that would replace a client
// program, the install dialog asks whether any of those programs is running.
// Running programs are only reported, never closed.
//
// A program counts as running when a process whose executable file name
// equals the list entry without regard to letter case (multibyte-aware) has
// a top-level window, visible or hidden. Only the first such process in the
// process list is looked at.
//
// Threading: the page's thread (the install dialog's). Message boxes block
// it until they are answered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "control/settings.h"
#include "platform/processes/processes.h"

namespace hovane {

// Looks at the first count records of fetchList (count from the first
// record's nCount; never more than capacity records, and each name read at
// most to the end of its 256-byte field). For each name whose extension
// (the text after the last '.', or the whole name) is "EXE" in any letter
// case, asks FindProgramWindow. On the first that finds a window, shows
// "실행중인 모든 호바네 업로드, 다운로드 프로그램을 종료해 주십시오." captioned "알림"
// with a stop-sign icon, owned by owner, and returns false. True when no
// such program runs, when the list is empty or null, or when it names no
// program (no process list is read then).
bool CheckRunningPrograms(const FetchRecord* fetchList, std::size_t capacity, std::uintptr_t owner);

// The first top-level window of the first running process whose executable
// file name equals exeName without regard to case; 0 for none. When the
// process list cannot be read, shows "CreateToolhelp32Snapshot (of
// processes)", and when it lists no process, "Process32First", each in a
// plain box captioned with the module's title, and returns 0.
platform::WindowHandle FindProgramWindow(std::string_view exeName);

}  // namespace hovane
