// kenv-gui: view and edit persistent environment variables in a window.
#include "main_window.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// --version and --help answer without a display, so that scripts and package checks can
// ask them anywhere.
bool answered_without_window(int argc, char **argv) {
  if (argc != 2)
    return false;
  if (std::strcmp(argv[1], "--version") == 0)
    std::puts("kenv-gui " KENV_VERSION);
  else if (std::strcmp(argv[1], "--help") == 0)
    std::puts("Usage: kenv-gui [Qt options]\n"
              "View and edit persistent environment variables of your user and of the system.\n"
              "  --version  print the version and exit\n"
              "See kenv-gui(1) and kenv(1).");
  else
    return false;
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (answered_without_window(argc, argv))
    return 0;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kenv-gui"));
  QApplication::setApplicationVersion(QStringLiteral(KENV_VERSION));
  // Ties the windows to the menu entry, whose name and icon the desktop then shows.
  QGuiApplication::setDesktopFileName(QStringLiteral(KENV_DESKTOP_ID));
  MainWindow window;
  window.show();
  window.reload();
  return QApplication::exec();
}
