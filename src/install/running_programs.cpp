#include "install/running_programs.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/msgbox/message_box.h"
#include "resources/texts.h"

namespace hovane {
namespace {

bool IsProgramName(std::string_view name) {
  const std::size_t dot = platform::FindLastChar(name, '.');
  const std::string_view extension = dot == std::string_view::npos ? name : name.substr(dot + 1);
  return platform::UpperCase(extension) == "EXE";
}

}  // namespace

bool CheckRunningPrograms(const FetchRecord* fetchList, std::size_t capacity,
                          std::uintptr_t owner) {
  if (fetchList == nullptr || capacity == 0 || fetchList[0].nCount < 1) return true;
  // The count comes from the block itself; records past the block's end
  // are never read.
  const std::size_t count = std::min(static_cast<std::size_t>(fetchList[0].nCount), capacity);
  for (std::size_t i = 0; i < count; ++i) {
    const FetchRecord& record = fetchList[i];
    const std::string_view name(record.szName, strnlen(record.szName, kFetchNameSize));
    if (!IsProgramName(name)) continue;
    if (FindProgramWindow(name) != 0) {
      platform::ShowMessage(Text(TextId::kTextCloseRunningPrograms), Text(TextId::kTextNotice),
                            platform::MessageBoxIcon::Error, owner);
      return false;
    }
  }
  return true;
}

platform::WindowHandle FindProgramWindow(std::string_view exeName) {
  auto processes = platform::SnapshotProcesses();
  if (!processes) {
    platform::ShowMessage(Text(TextId::kTextProcessSnapshotFailed), Text(TextId::kTextModuleTitle));
    return 0;
  }
  if (processes->empty()) {
    platform::ShowMessage(Text(TextId::kTextFirstProcessFailed), Text(TextId::kTextModuleTitle));
    return 0;
  }
  const std::string wanted = platform::LowerCase(exeName);
  for (const platform::ProcessEntry& process : *processes) {
    if (platform::LowerCase(process.exeFile) != wanted) continue;
    // Only the first process of that name is looked at, even when a later
    // one has a window.
    for (const platform::TopLevelWindow& window : platform::ListTopLevelWindows())
      if (window.processId == process.processId) return window.window;
    return 0;
  }
  return 0;
}

}  // namespace hovane
