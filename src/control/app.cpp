#include "control/app.h"

#include <mutex>

#include "control/settings.h"

namespace hovane {

bool CHoVaneUpdateApp::InitInstance() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The OS major version, the update kind, the fetch list and the server
    // settings are not assigned here: they keep their empty start, so the
    // update kind is 0 until the first SetVirsionUrl.
    CHoVaneUpdateModule& module = TheModule();
    module.m_bUpdateSucceeded = 0;
    module.m_bUpUpdateSucceeded = 0;
    module.m_bInstallResult = 1;
    module.m_bExeInFetchList = 0;
    module.m_strVersionListUrl = std::string(kDefaultVersionListUrl);
    module.m_bInstallDialogOpen = 0;
    module.m_bForeign = 0;
  });
  return true;
}

CHoVaneUpdateApp& TheApp() {
  static CHoVaneUpdateApp app;
  return app;
}

}  // namespace hovane
