// kenv-gui: view and edit persistent environment variables in a window.
#include "main_window.h"

#include <QApplication>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kenv-gui"));
  MainWindow window;
  window.show();
  window.reload();
  return QApplication::exec();
}
