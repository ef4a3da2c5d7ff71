// A client program for the running-program tests: a process that shows a
// window (mapped), keeps one that was never shown (hidden), or has none,
// and lives until its standard input closes.
//
//   window_helper none|mapped|hidden
//
// Prints "ready <window id> <1 when a window manager reparented it, else 0>"
// once the window is in place (for mapped: once it is mapped), or
// "failed: <reason>" and exits 1.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s none|mapped|hidden\n", argv[0]);
    return 2;
  }
  const bool wantWindow = std::strcmp(argv[1], "none") != 0;
  const bool mapped = std::strcmp(argv[1], "mapped") == 0;
  Display* display = nullptr;
  Window window = 0;
  int reparented = 0;
  if (wantWindow) {
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
      std::printf("failed: cannot open the display\n");
      return 1;
    }
    const Window root = DefaultRootWindow(display);
    window = XCreateSimpleWindow(display, root, 10, 10, 200, 100, 0, 0, 0);
    const long pid = getpid();
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    XStoreName(display, window, "window_helper");
    XSelectInput(display, window, StructureNotifyMask);
    if (mapped) {
      // A window manager that is still starting may drop the request to
      // map the window; asking again is harmless once it is mapped.
      for (bool isMapped = false; !isMapped;) {
        XMapWindow(display, window);
        XFlush(display);
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, 500);
        while (!isMapped && XPending(display) > 0) {
          XEvent event;
          XNextEvent(display, &event);
          isMapped = event.type == MapNotify && event.xmap.window == window;
        }
      }
    }
    XSync(display, False);
    Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &rootReturn, &parent, &children, &count)) {
      reparented = parent != root ? 1 : 0;
      if (children) XFree(children);
    }
  }
  std::printf("ready %lu %d\n", static_cast<unsigned long>(window), reparented);
  std::fflush(stdout);
  while (std::fgetc(stdin) != EOF) {
  }
  if (display) XCloseDisplay(display);
  return 0;
}
