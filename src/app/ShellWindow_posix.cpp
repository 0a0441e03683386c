#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "app/ShellWindow.h"

namespace slv2 {

namespace {

template <class T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

class XcbConnection {
 public:
  XcbConnection() : FConnection(xcb_connect(nullptr, &FScreen)) {}
  ~XcbConnection() { xcb_disconnect(FConnection); }
  XcbConnection(const XcbConnection&) = delete;
  XcbConnection& operator=(const XcbConnection&) = delete;

  bool Ok() const { return xcb_connection_has_error(FConnection) == 0; }
  xcb_connection_t* Get() const { return FConnection; }
  xcb_window_t Root() const {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(FConnection));
    for (int i = 0; i < FScreen && it.rem; ++i)
      xcb_screen_next(&it);
    return it.rem ? it.data->root : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
  }

 private:
  int FScreen = 0;
  xcb_connection_t* FConnection;
};

xcb_atom_t Atom(const XcbConnection& x, const char* name) {
  XcbReply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(
          x.Get(), xcb_intern_atom(x.Get(), 1, static_cast<uint16_t>(std::strlen(name)), name),
          nullptr),
      &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The windows a window manager reports as its clients (its frames are the
// root's children then, and they carry no class of their own).
std::vector<xcb_window_t> ClientList(const XcbConnection& x, xcb_window_t root) {
  std::vector<xcb_window_t> windows;
  xcb_atom_t clientList = Atom(x, "_NET_CLIENT_LIST");
  if (clientList == XCB_ATOM_NONE) return windows;
  XcbReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(
          x.Get(), xcb_get_property(x.Get(), 0, root, clientList, XCB_ATOM_WINDOW, 0, 65536),
          nullptr),
      &std::free);
  if (!reply || reply->format != 32) return windows;
  auto* data = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
  windows.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
  return windows;
}

std::vector<xcb_window_t> RootChildren(const XcbConnection& x, xcb_window_t root) {
  XcbReply<xcb_query_tree_reply_t> reply(
      xcb_query_tree_reply(x.Get(), xcb_query_tree(x.Get(), root), nullptr), &std::free);
  if (!reply) return {};
  xcb_window_t* children = xcb_query_tree_children(reply.get());
  return std::vector<xcb_window_t>(children,
                                   children + xcb_query_tree_children_length(reply.get()));
}

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// WM_CLASS holds the instance name and the class name, each ending in a
// zero byte; window classes compare ignoring case, as on Windows.
bool HasShellClass(const XcbConnection& x, xcb_window_t window) {
  XcbReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(
          x.Get(), xcb_get_property(x.Get(), 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
          nullptr),
      &std::free);
  if (!reply || reply->format != 8) return false;
  std::string_view value(static_cast<const char*>(xcb_get_property_value(reply.get())),
                         static_cast<size_t>(xcb_get_property_value_length(reply.get())));
  size_t end = value.find('\0');
  if (end == std::string_view::npos) return false;
  std::string_view className = value.substr(end + 1);
  className = className.substr(0, className.find('\0'));
  return SameAsciiText(className, kShellWindowClass);
}

}  // namespace

bool IsShellWindowOpen() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return false;
  XcbConnection x;
  if (!x.Ok()) return false;
  xcb_window_t root = x.Root();
  if (root == XCB_WINDOW_NONE) return false;
  std::vector<xcb_window_t> windows = ClientList(x, root);
  std::vector<xcb_window_t> children = RootChildren(x, root);
  windows.insert(windows.end(), children.begin(), children.end());
  for (xcb_window_t window : windows) {
    if (HasShellClass(x, window)) return true;
  }
  return false;
}

}  // namespace slv2
