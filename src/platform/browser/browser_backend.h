// Backend of the browser window. Internal to the platform layer.
#pragma once

#include <string>
#include <vector>

#include "platform/browser/browser.h"

namespace hovane::platform::backend {

// The command lines to try for request, best first; each starts with the
// program's full path. Programs are found in the folders of searchPath
// (PATH's form); candidates that are not installed are left out.
std::vector<std::vector<std::string>> BrowserCommandLines(const BrowserWindowRequest& request,
                                                          const std::string& searchPath);

// Starts argv detached: in a session of its own, standard streams on
// /dev/null, not a child of this process (so it leaves no zombie), with
// this process's environment. True once the program runs; false when it
// could not be executed.
bool StartDetached(const std::vector<std::string>& argv);

}  // namespace hovane::platform::backend
