// Front door of the browser window: the request is checked and handed to
// the current opener; the system's opener tries the backend's command lines
// in order.
#include "platform/browser/browser.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

#include "platform/browser/browser_backend.h"

namespace hovane::platform {
namespace {

SystemBrowserOpener& DefaultOpener() {
  static SystemBrowserOpener opener;
  return opener;
}

std::atomic<BrowserOpener*>& CurrentOpener() {
  static std::atomic<BrowserOpener*> opener{nullptr};
  return opener;
}

// The address ends up as one argument of another program's command line:
// it must not read as an option, and must not carry anything a shell or a
// browser would split or interpret before the scheme.
bool IsPlainWebAddress(std::string_view url) {
  const bool http = url.starts_with("http://") && url.size() > 7;
  const bool https = url.starts_with("https://") && url.size() > 8;
  if (!http && !https) return false;
  for (const char c : url) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

}  // namespace

bool OpenBrowserWindow(const BrowserWindowRequest& request) {
  if (!IsPlainWebAddress(request.url) || request.width <= 0 || request.height <= 0) return false;
  BrowserOpener* opener = CurrentOpener().load();
  return (opener != nullptr ? *opener : DefaultOpener()).Open(request);
}

BrowserOpener* SetBrowserOpener(BrowserOpener* opener) {
  return CurrentOpener().exchange(opener);
}

bool SystemBrowserOpener::Open(const BrowserWindowRequest& request) {
  const char* path = std::getenv("PATH");
  for (const auto& argv : backend::BrowserCommandLines(request, path ? path : "/usr/bin:/bin")) {
    if (backend::StartDetached(argv)) return true;
  }
  return false;
}

}  // namespace hovane::platform
