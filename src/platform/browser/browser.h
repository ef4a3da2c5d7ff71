// Browser window: opens a web page in a new window of an installed browser,
// as the system opens its manual-installation page.
//
// The window is a plain one: no toolbar, menu bar or status bar where the
// browser allows it, at the size asked for. The browser is started as a
// process of its own and left running; nothing waits for it or its window.
//
// The process's current BrowserOpener does the opening: the system's one
// unless a test has put a recorder in its place.
//
// Threading: OpenBrowserWindow may be called from any thread.
// SetBrowserOpener is for start-up and tests.
#pragma once

#include <string>

#include "platform/export.h"

namespace hovane::platform {

struct BrowserWindowRequest {
  std::string url;  // an absolute http:// or https:// address
  int width = 0;    // the window's size in pixels
  int height = 0;
};

class HOVANE_PLATFORM_API BrowserOpener {
 public:
  virtual ~BrowserOpener() = default;
  // True when a browser was started on the request; false when none could
  // be.
  virtual bool Open(const BrowserWindowRequest& request) = 0;
};

// Opens the request through the current opener. False, without starting
// anything, for an address that is not an absolute http:// or https://
// address of printable ASCII without spaces, or a size that is not
// positive; otherwise the opener's answer.
HOVANE_PLATFORM_API bool OpenBrowserWindow(const BrowserWindowRequest& request);

// Installs opener (not owned; it must outlive its use) and returns the one
// it replaces. nullptr restores the system's opener.
HOVANE_PLATFORM_API BrowserOpener* SetBrowserOpener(BrowserOpener* opener);

// The system's opener: the first installed browser of the Chromium family
// in app mode (a window without browser controls) at the requested size;
// else another installed browser in a new window of that size; else the
// desktop's opener (xdg-open). Programs are looked up in the folders of
// PATH at each call. A program that is found but cannot be started is
// passed over for the next.
class HOVANE_PLATFORM_API SystemBrowserOpener : public BrowserOpener {
 public:
  bool Open(const BrowserWindowRequest& request) override;
};

}  // namespace hovane::platform
