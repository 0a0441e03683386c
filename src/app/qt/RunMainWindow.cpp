#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/ExitStatus.h"
#include "app/MainWindow.h"
#include "app/MainWindowDesign.h"
#include "app/qt/FormMain.h"
#include "sys/Cp1251.h"

namespace slv2 {

int RunMainWindow(int& argc, char** argv, TSessionOptions options) {
  auto defined = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  if (!defined("DISPLAY") && !defined("WAYLAND_DISPLAY") && !defined("QT_QPA_PLATFORM")) {
    std::fputs("slv2update: no display for the window; use --console or --quiet\n", stderr);
    return kExitFailed;
  }
  // The window's design is in pixels of the screen, as on the target systems.
  if (!defined("QT_ENABLE_HIGHDPI_SCALING")) ::setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(
      QString::fromStdString(AnsiToUtf8(design::ApplicationTitle())));
  TFormMain window(std::move(options));
  window.show();
  QApplication::exec();
  return window.Session().ExitStatus();
}

}  // namespace slv2
