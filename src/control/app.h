// CHoVaneUpdateApp: the module's application object. When the module starts
// in a process it assigns the defaults of the control settings, once.
#pragma once

#include <string_view>

namespace hovane {

// The default version list URL: the update server's version list.
inline constexpr std::string_view kDefaultVersionListUrl =
    "http://update.hovane.net/version/version.html";

class CHoVaneUpdateApp {
 public:
  // Assigns the defaults of the control settings. Runs once per process
  // whatever the number of calls; true once done.
  bool InitInstance();
};

// The application object of this process.
CHoVaneUpdateApp& TheApp();

}  // namespace hovane
