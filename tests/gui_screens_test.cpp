// The window as an X server shows it: every page of both scope tabs is captured from the
// screen of Xvfb into a PNG in the build tree, and each capture must show something (not one
// flat colour) where the page's main widget is, with the widgets where the layout puts them:
// the scope tabs at the top, the page's list filling most of the window, its controls below.
#include "gui_sandbox.h"
#include "library.h"
#include "main_window.h"

#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include <memory>
#include <set>

class GuiScreens : public QObject {
  Q_OBJECT

  // The number of distinct colours in the rectangle of the image.
  static std::size_t colours(const QImage &image, const QRect &area) {
    std::set<QRgb> seen;
    QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); y += 2)
      for (int x = r.left(); x <= r.right(); x += 2)
        seen.insert(image.pixel(x, y));
    return seen.size();
  }

  // "New s&ession" is "new-session", "&Warnings (2)" is "warnings".
  static QString page_name(QString title) {
    return title.remove('&').section(QStringLiteral(" ("), 0, 0).replace(' ', '-').toLower();
  }

  static QRect in_window(QWidget *widget, QWidget *window) {
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
  }

private slots:
  void everyPageShowsItsWidgetsWhereTheLayoutPutsThem() {
    GuiSandbox sandbox;
    for (const char *name : {"EDITOR=vim", "PAGER=less", "MANPATH=/usr/share/man:/usr/local/share/man"}) {
      std::string pair = name;
      lib_set("user", pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
    }
    lib_path_add("user", sandbox.root(), 0);
    lib_path_add("user", sandbox.root() + "/missing", 1);
    lib_set("system", "LANG", "C.UTF-8");
    lib_path_add("system", sandbox.root() + "/opt", 0);
    MainWindow window;
    window.resize(1100, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy spy(&window, &MainWindow::reloaded);
    window.reload();
    QVERIFY(spy.wait(10000));
    QDir().mkpath(QStringLiteral(KENV_SCREENSHOT_DIR));

    for (ScopeTab *tab : {window.user(), window.system()}) {
      window.scopes()->setCurrentWidget(tab);
      for (int page = 0; page < tab->pages()->count(); ++page) {
        tab->pages()->setCurrentIndex(page);
        QTest::qWait(150);
        QImage shot = window.screen()->grabWindow(window.winId()).toImage();
        QString file = QStringLiteral(KENV_SCREENSHOT_DIR "/%1-%2.png")
                           .arg(QString::fromStdString(tab->scope()))
                           .arg(page_name(tab->pages()->tabText(page)));
        QVERIFY(shot.save(file));
        QCOMPARE(shot.size() / shot.devicePixelRatio(), window.size());

        QWidget *main = tab->pages()->currentWidget();
        QRect tabs = in_window(window.scopes()->tabBar(), &window);
        QRect body = in_window(main, &window);
        QVERIFY2(colours(shot, window.rect()) > 16, qPrintable(file + " is blank"));
        QVERIFY2(colours(shot, body) > 8, qPrintable(file + ": the page shows nothing"));
        QVERIFY(tabs.bottom() < body.top());
        QVERIFY(window.rect().contains(body));
        QVERIFY2(body.height() > window.height() / 2, qPrintable(file + ": the page is too small"));
        for (QPushButton *button : main->findChildren<QPushButton *>())
          if (button->isVisible() && button->parentWidget() == main)
            QVERIFY2(in_window(button, &window).top() > body.top() + body.height() / 2,
                     qPrintable(file + ": " + button->text() + " is not below the list"));
      }
    }
  }
};

QTEST_MAIN(GuiScreens)
#include "gui_screens_test.moc"
