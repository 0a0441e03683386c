#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "XDisplaySupport.h"

namespace slv2::test {

XDisplay::XDisplay() {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return;
  server_ = ::fork();
  if (server_ == 0) {
    ::close(pipeFds[0]);
    int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    std::string fd = std::to_string(pipeFds[1]);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
             "320x240x24", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (server_ < 0) {
    ::close(pipeFds[0]);
    return;
  }
  // Xvfb writes its display number once it accepts connections.
  std::string number;
  char c;
  while (::read(pipeFds[0], &c, 1) == 1 && c != '\n')
    number += c;
  ::close(pipeFds[0]);
  if (number.empty()) return;
  name_ = ":" + number;
  xcb_connection_t* connection = xcb_connect(name_.c_str(), nullptr);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return;
  }
  connection_ = connection;
}

XDisplay::~XDisplay() {
  if (connection_) xcb_disconnect(connection_);
  if (server_ > 0) {
    ::kill(server_, SIGTERM);
    ::waitpid(server_, nullptr, 0);
  }
}

uint32_t XDisplay::OpenWindow(const std::string& instance, const std::string& className) {
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
  return window;
}

void XDisplay::CloseWindow(uint32_t window) {
  xcb_destroy_window(connection_, window);
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

}  // namespace slv2::test
