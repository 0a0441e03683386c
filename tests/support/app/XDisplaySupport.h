// A private X server (Xvfb) for the tests of the shell-window check, and
// top-level windows with a chosen WM_CLASS on it. Tests skip when Xvfb is
// not installed. $DISPLAY is set with test::ScopedEnv (an empty value
// counts as no display).
#pragma once

#include <string>

#include "TestSupport.h"

struct xcb_connection_t;

namespace slv2::test {

class XDisplay {
 public:
  // Starts Xvfb on a free display number; Ok() tells whether it runs.
  XDisplay();
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  bool Ok() const { return connection_ != nullptr; }
  // ":N", for $DISPLAY.
  const std::string& Name() const { return name_; }

  // Maps a top-level window whose WM_CLASS holds the instance and class
  // names.
  void OpenWindow(const std::string& instance, const std::string& className);

 private:
  TempDir dir_;
  int server_ = -1;
  std::string name_;
  xcb_connection_t* connection_ = nullptr;
};

}  // namespace slv2::test
