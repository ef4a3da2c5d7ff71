// Backend of the process and window list. Internal to the platform layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/processes/processes.h"

namespace hovane::platform::backend {

struct HostProcess {
  std::uint32_t processId = 0;
  std::string argv0;      // bytes of the first command-line argument (UTF-8 as a rule)
  std::string shortName;  // the kernel's name, cut at 15 bytes
};

// The processes listed under root (a folder laid out like /proc), in
// ascending id. Processes that end while they are read are left out.
// nullopt when root cannot be read.
std::optional<std::vector<HostProcess>> ReadProcessList(const std::string& root);

// The top-level windows of the display named by DISPLAY, top first; empty
// when there is no display or it cannot be opened.
std::vector<TopLevelWindow> ReadTopLevelWindows();

}  // namespace hovane::platform::backend
