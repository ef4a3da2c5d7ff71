// Linux backend of the window list: the X display, through the X protocol
// library (xcb).
//
// Windows hands out a list of top-level windows with their owning process.
// X has neither: a window manager puts each client's window into a frame of
// its own, and the owning process is only what the client says in
// _NET_WM_PID. So the tree is walked from each root down to the first
// windows that carry WM_STATE (set by the window manager on the windows it
// manages) or _NET_WM_PID (set by the client, and present without a window
// manager and on windows that were never mapped). Their subtrees are the
// clients' own and are not searched further.
//
// A connection is opened for each listing and closed after it; the listing
// is rare (a check before an update). Errors come back per request, so a
// window destroyed during the walk is simply left out.
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/processes/processes_backend.h"

namespace hovane::platform::backend {
namespace {

// Client windows lie at most this deep below a root (a frame, perhaps a
// decoration window, then the client); a deeper tree is not searched.
constexpr int kMaxDepth = 8;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

class Walker {
 public:
  explicit Walker(xcb_connection_t* connection) : connection_(connection) {
    wmState_ = Atom("WM_STATE");
    netWmPid_ = Atom("_NET_WM_PID");
  }

  void Walk(xcb_window_t parent, int depth, std::vector<TopLevelWindow>* found) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, parent), &error));
    std::free(error);
    if (!tree) return;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());

    // All property requests of this level go out before the first answer is
    // read, so a level costs one round trip.
    std::vector<xcb_get_property_cookie_t> states, pids;
    states.reserve(static_cast<std::size_t>(count));
    pids.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      states.push_back(Request(children[i], wmState_, XCB_GET_PROPERTY_TYPE_ANY));
      pids.push_back(Request(children[i], netWmPid_, XCB_ATOM_CARDINAL));
    }
    // Children come bottom of the stacking order first; the list is top first.
    std::vector<xcb_window_t> descend;
    for (int i = count - 1; i >= 0; --i) {
      Reply<xcb_get_property_reply_t> state = Answer(wmState_, states[static_cast<std::size_t>(i)]);
      Reply<xcb_get_property_reply_t> pid = Answer(netWmPid_, pids[static_cast<std::size_t>(i)]);
      const bool hasState = state && state->type != XCB_NONE;
      const bool hasPid = pid && pid->type == XCB_ATOM_CARDINAL && pid->format == 32 &&
                          xcb_get_property_value_length(pid.get()) >= 4;
      if (hasState || hasPid) {
        std::uint32_t processId = 0;
        if (hasPid)
          processId = *static_cast<const std::uint32_t*>(xcb_get_property_value(pid.get()));
        found->push_back({static_cast<WindowHandle>(children[i]), processId});
      } else if (depth + 1 < kMaxDepth) {
        Walk(children[i], depth + 1, found);
      }
    }
  }

 private:
  // The atom of name, or XCB_NONE when nobody has created it (so no window
  // can carry it).
  xcb_atom_t Atom(const char* name) {
    xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection_, 1, static_cast<std::uint16_t>(std::strlen(name)), name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_NONE);
  }

  xcb_get_property_cookie_t Request(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    if (property == XCB_NONE) return {};
    return xcb_get_property(connection_, 0, window, property, type, 0, 1);
  }

  Reply<xcb_get_property_reply_t> Answer(xcb_atom_t property, xcb_get_property_cookie_t cookie) {
    if (property == XCB_NONE) return nullptr;
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection_, cookie, &error));
    std::free(error);
    return reply;
  }

  xcb_connection_t* connection_;
  xcb_atom_t wmState_ = XCB_NONE;
  xcb_atom_t netWmPid_ = XCB_NONE;
};

}  // namespace

std::vector<TopLevelWindow> ReadTopLevelWindows() {
  std::vector<TopLevelWindow> windows;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return windows;
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  if (connection == nullptr) return windows;
  if (xcb_connection_has_error(connection) == 0) {
    Walker walker(connection);
    for (xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection));
         screen.rem > 0; xcb_screen_next(&screen))
      walker.Walk(screen.data->root, 0, &windows);
  }
  xcb_disconnect(connection);
  return windows;
}

}  // namespace hovane::platform::backend
