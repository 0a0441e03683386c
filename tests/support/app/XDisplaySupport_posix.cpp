#include <unistd.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>

#include "XDisplaySupport.h"

namespace slv2::test {

XDisplay::XDisplay() {
  if (::access("/usr/bin/Xvfb", X_OK) != 0) return;
  const std::string display = dir_ / "display";
  server_ = StartProgram("/usr/bin/Xvfb",
                         {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"},
                         display, dir_ / "err");
  // Xvfb writes its display number once it accepts connections.
  std::string number;
  for (int i = 0; i < 1000 && server_ > 0 && number.find('\n') == std::string::npos; ++i) {
    ::usleep(10000);
    if (PathExists(display)) number = ReadFile(display);
  }
  if (number.find('\n') == std::string::npos) return;
  name_ = ":" + number.substr(0, number.find('\n'));
  connection_ = xcb_connect(name_.c_str(), nullptr);
  if (xcb_connection_has_error(connection_)) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
  }
}

XDisplay::~XDisplay() {
  if (connection_) xcb_disconnect(connection_);
  if (server_ > 0) {
    ::kill(server_, SIGTERM);  // not SIGKILL: Xvfb removes its lock file
    WaitProgram(server_);
  }
}

void XDisplay::OpenWindow(const std::string& instance, const std::string& className) {
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  xcb_window_t window = xcb_generate_id(connection_);
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 100, 100, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
  std::string value = instance + '\0' + className + '\0';
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                      XCB_ATOM_STRING, 8, static_cast<uint32_t>(value.size()), value.data());
  xcb_map_window(connection_, window);
  // A round trip: the window exists for every other client afterwards.
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

}  // namespace slv2::test
