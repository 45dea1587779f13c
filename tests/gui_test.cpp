// kenv-gui driven through its real widgets on the offscreen platform, in a throw-away home:
// each change goes through the worker thread and the library, and each check reads the
// scope back through the library.
#include "gui_sandbox.h"
#include "library.h"
#include "main_window.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <memory>

class GuiTest : public QObject {
  Q_OBJECT
  std::unique_ptr<GuiSandbox> sandbox_;
  std::unique_ptr<MainWindow> window_;

  template <class W> W *user_widget(const char *name) {
    W *w = window_->user()->findChild<W *>(QString::fromLatin1(name));
    if (!w)
      qFatal("no widget %s", name);
    return w;
  }

  // Runs the action and waits until the window has reloaded after it.
  bool reloads_after(const std::function<void()> &action) {
    QSignalSpy spy(window_.get(), &MainWindow::reloaded);
    action();
    return spy.wait(10000);
  }

  void click(const char *button) {
    QVERIFY(reloads_after([&] { QTest::mouseClick(user_widget<QPushButton>(button), Qt::LeftButton); }));
  }

  void set_in_form(const QString &name, const QString &value) {
    user_widget<QLineEdit>("name")->setText(name);
    user_widget<QLineEdit>("value")->setText(value);
    click("set");
  }

  void add_path(const std::string &entry) {
    user_widget<QLineEdit>("pathEntry")->setText(QString::fromStdString(entry));
    click("pathAdd");
  }

  static std::optional<std::string> user_value(const std::string &name) {
    Listing l = parse_listing(lib_list("user"));
    const Variable *v = find_variable(l, name);
    return v ? std::optional<std::string>(v->value) : std::nullopt;
  }

  void select_path_row(const std::string &entry) {
    PathModel &model = window_->user()->path()->model();
    for (int row = 0; row < model.rowCount(); ++row)
      if (model.entries()[static_cast<std::size_t>(row)].entry == entry)
        user_widget<QTreeView>("path")->setCurrentIndex(model.index(row, 0));
  }

private slots:
  void init() {
    sandbox_ = std::make_unique<GuiSandbox>();
    window_ = std::make_unique<MainWindow>();
    window_->user()->backups()->confirm = [](const QString &) { return true; };
    window_->show();
    QVERIFY(reloads_after([&] { window_->reload(); }));
  }

  void cleanup() {
    window_.reset();
    sandbox_.reset();
  }

  void addsEditsAndDeletesAVariable() {
    set_in_form("EDITOR", "vim");
    QCOMPARE(user_value("EDITOR"), std::optional<std::string>("vim"));
    QTableView *table = user_widget<QTableView>("variables");
    QCOMPARE(table->model()->rowCount(), 1);
    table->setCurrentIndex(table->model()->index(0, 0));
    QCOMPARE(user_widget<QLineEdit>("value")->text(), QStringLiteral("vim"));
    user_widget<QLineEdit>("value")->setText(QStringLiteral("nano"));
    click("set");
    QCOMPARE(user_value("EDITOR"), std::optional<std::string>("nano"));
    click("delete");
    QCOMPARE(user_value("EDITOR"), std::nullopt);
    QCOMPARE(table->model()->rowCount(), 0);
  }

  void filtersTheVariablesByText() {
    set_in_form("EDITOR", "vim");
    set_in_form("PAGER", "less");
    user_widget<QLineEdit>("filter")->setText(QStringLiteral("les"));
    QCOMPARE(user_widget<QTableView>("variables")->model()->rowCount(), 1);
  }

  void reordersPathByTheButtons() {
    std::string a = sandbox_->root() + "/a", b = sandbox_->root() + "/b", c = sandbox_->root() + "/c";
    for (const std::string &e : {a, b, c})
      add_path(e);
    select_path_row(c);
    click("pathUp");
    QCOMPARE(user_value("PATH"), std::optional<std::string>(a + ":" + c + ":" + b));
    select_path_row(a);
    click("pathDown");
    QCOMPARE(user_value("PATH"), std::optional<std::string>(c + ":" + a + ":" + b));
    select_path_row(b);
    click("pathRemove");
    QCOMPARE(user_value("PATH"), std::optional<std::string>(c + ":" + a));
  }

  void reordersPathThroughTheModelsMove() {
    std::string a = sandbox_->root() + "/a", b = sandbox_->root() + "/b", c = sandbox_->root() + "/c";
    for (const std::string &e : {a, b, c})
      add_path(e);
    PathModel &model = window_->user()->path()->model();
    QVERIFY(reloads_after([&] { QVERIFY(model.moveRows({}, 0, 1, {}, 3)); }));
    QCOMPARE(user_value("PATH"), std::optional<std::string>(b + ":" + c + ":" + a));
    QVERIFY(reloads_after([&] { QVERIFY(model.moveRows({}, 2, 1, {}, 0)); }));
    QCOMPARE(user_value("PATH"), std::optional<std::string>(a + ":" + b + ":" + c));
  }

  void marksAMissingEntryWithAnIconAndATooltip() {
    add_path(sandbox_->root() + "/missing");
    PathModel &model = window_->user()->path()->model();
    QVERIFY(!model.index(0, PathModel::entry).data(Qt::DecorationRole).isNull());
    QVERIFY(model.index(0, PathModel::entry)
                .data(Qt::ToolTipRole)
                .toString()
                .contains(QStringLiteral("missing")));
    QVERIFY(model.index(0, PathModel::origin).data().toString().startsWith(QStringLiteral("user scope")));
  }

  void aRefusedNameShowsItsMessageAndChangesNothing() {
    set_in_form("1BAD", "x");
    QLabel *message = user_widget<QLabel>("variablesMessage");
    QVERIFY(message->isVisibleTo(window_.get()));
    QVERIFY2(message->text().contains(QStringLiteral("not a valid variable name")),
             qPrintable(message->text()));
    QCOMPARE(user_widget<QLineEdit>("name")->text(), QStringLiteral("1BAD"));
    QVERIFY(parse_listing(lib_list("user")).vars.empty());
  }

  void undoRestoresTheStateBeforeTheLastChange() {
    set_in_form("EDITOR", "vim");
    set_in_form("EDITOR", "nano");
    click("undo");
    QCOMPARE(user_value("EDITOR"), std::optional<std::string>("vim"));
  }

  void reloadsWhenAnotherProgramChangesTheScope() {
    QSignalSpy spy(window_.get(), &MainWindow::reloaded);
    QCOMPARE(QProcess::execute(QStringLiteral(KENV_BIN), {"set", "FROM_KENV", "1"}), 0);
    QVERIFY(spy.wait(10000));
    QCOMPARE(window_->user()->variables()->model().vars().size(), std::size_t{1});
    for (int count : {1, 2}) {
      QStringList args{"profile", "new", QString::number(count), "--vars", "FROM_KENV"};
      QCOMPARE(QProcess::execute(QStringLiteral(KENV_BIN), args), 0);
      QTRY_COMPARE(user_widget<QTreeWidget>("profiles")->topLevelItemCount(), count);
    }
  }

  // Each variable's row names the place it comes from, not the library's tag for it.
  void namesThePlaceEachVariableComesFrom() {
    GuiSandbox::write(sandbox_->user_envd() + "/10-pager.conf", "PAGER=less\n");
    GuiSandbox::write(GuiSandbox::system_envd() + "/20-lang.conf", "LANG=C.UTF-8\n");
    lib_set("system", "TZ", "UTC");
    set_in_form("EDITOR", "vim");
    struct Case {
      ScopeTab *tab;
      std::string name, place;
    } cases[] = {{window_->user(), "EDITOR", "kenv's user store"},
                 {window_->user(), "PAGER", sandbox_->user_envd() + "/10-pager.conf"},
                 {window_->system(), "TZ", "kenv's system store"},
                 {window_->system(), "LANG", GuiSandbox::system_envd() + "/20-lang.conf"}};
    for (const Case &c : cases) {
      VariablesModel &model = c.tab->variables()->model();
      QString place;
      for (int row = 0; row < model.rowCount(); ++row)
        if (model.vars()[static_cast<std::size_t>(row)].name == c.name)
          place = model.index(row, VariablesModel::source).data().toString();
      QCOMPARE(place, QString::fromStdString(c.place));
    }
  }

  // The backups list says what the change each backup came before did, newest first.
  void listsWhatEachChangeDid() {
    std::string x = sandbox_->root() + "/x", y = sandbox_->root() + "/y";
    struct Step {
      std::function<void()> change;
      std::string did;
    } steps[] = {{[] { lib_set("user", "EDITOR", "vim"); }, "set EDITOR"},
                 {[] { lib_set("user", "EDITOR", "nano"); }, "set EDITOR"},
                 {[] { lib_set("user", "FOO", "1"); }, "set FOO"},
                 {[] { lib_del("user", "FOO"); }, "unset FOO"},
                 {[&] { lib_path_add("user", x, 0); }, "PATH + " + x},
                 {[&] { lib_path_add("user", y, 1); }, "PATH + " + y},
                 {[&] { lib_path_move("user", y, 0); }, "PATH order"},
                 {[&] { lib_path_del("user", x); }, "PATH - " + x}};
    for (const Step &step : steps)
      step.change();
    QVERIFY(reloads_after([&] { window_->reload(); }));
    auto *list = user_widget<QTreeWidget>("backups");
    int column = -1;
    for (int c = 0; c < list->columnCount(); ++c)
      if (list->headerItem()->text(c) == QStringLiteral("Change"))
        column = c;
    QVERIFY(column >= 0);
    QCOMPARE(list->topLevelItemCount(), static_cast<int>(std::size(steps)));
    for (std::size_t i = 0; i < std::size(steps); ++i)
      QCOMPARE(list->topLevelItem(static_cast<int>(std::size(steps) - 1 - i))->text(column),
               QString::fromStdString(steps[i].did));
  }

  // Undo takes back the latest change even when kenv made it and this window made none.
  void undoesTheLatestChangeWhicheverFrontEndMadeIt() {
    for (const char *value : {"vim", "nano"})
      QCOMPARE(QProcess::execute(QStringLiteral(KENV_BIN), {"set", "EDITOR", value}), 0);
    QVERIFY(reloads_after([&] { window_->reload(); }));
    QString asked;
    window_->user()->backups()->confirm = [&](const QString &question) {
      asked = question;
      return true;
    };
    click("undo");
    QCOMPARE(user_value("EDITOR"), std::optional<std::string>("vim"));
    QVERIFY2(asked.contains(QStringLiteral("set EDITOR")), qPrintable(asked));
  }

  // The scope exported to a file and the file applied after an edit: the window shows what it
  // changes and asks first, and the apply is one change that Undo takes back.
  void appliesAnExportedFileAsOneUndoableChange() {
    QString file = QString::fromStdString(sandbox_->root() + "/state.json");
    window_->choose_file = [&](bool) { return file; };
    set_in_form("EDITOR", "vim");
    window_->findChild<QAction *>(QStringLiteral("exportScope"))->trigger();
    window_->queue().wait_idle();
    set_in_form("EDITOR", "nano");
    QString asked;
    window_->confirm = [&](const QString &question) {
      asked = question;
      return true;
    };
    window_->findChild<QAction *>(QStringLiteral("applyFile"))->trigger();
    QTRY_COMPARE(user_value("EDITOR"), std::optional<std::string>("vim"));
    QVERIFY2(asked.contains(QStringLiteral("~ EDITOR: nano -> vim")), qPrintable(asked));
    click("undo");
    QTRY_COMPARE(user_value("EDITOR"), std::optional<std::string>("nano"));
  }

  // Unchecking an own entry takes it out of PATH; it stays listed, greyed, at its place, and
  // checking it puts it back there.
  void switchesAPathEntryOffAndBackInItsPlace() {
    std::string a = sandbox_->root() + "/a", b = sandbox_->root() + "/b", c = sandbox_->root() + "/c";
    for (const std::string &e : {a, b, c})
      add_path(e);
    PathModel &model = window_->user()->path()->model();
    struct Step {
      Qt::CheckState check;
      std::string path;
    } steps[] = {{Qt::Unchecked, a + ":" + c}, {Qt::Checked, a + ":" + b + ":" + c}};
    for (const Step &step : steps) {
      QVERIFY(reloads_after(
          [&] { model.setData(model.index(1, PathModel::entry), step.check, Qt::CheckStateRole); }));
      QCOMPARE(user_value("PATH"), std::optional<std::string>(step.path));
      QCOMPARE(model.entries()[1].entry, b);
      QCOMPARE(model.index(1, PathModel::entry).data(Qt::CheckStateRole).value<Qt::CheckState>(), step.check);
      QCOMPARE(model.is_off(1), step.check == Qt::Unchecked);
    }
  }

  // A profile imported on the page, switched on and off by its check box; switching it off
  // after one of its variables changed is refused, and the refusal shows on the page.
  void switchesAProfileOnAndOffFromThePage() {
    std::string x = sandbox_->root() + "/x", file = sandbox_->root() + "/work.json";
    GuiSandbox::write(
        file, R"({"format": "kenv-state/1", "vars": [{"name": "EDITOR", "value": "nano"}], "path": [")" + x +
                  R"("]})");
    set_in_form("EDITOR", "vim");
    ProfilesPage *page = window_->user()->profiles();
    page->choose_file = [&] { return QString::fromStdString(file); };
    page->ask_name = [](const QString &suggested) { return suggested; };
    click("profileImport");
    auto *list = user_widget<QTreeWidget>("profiles");
    QCOMPARE(list->topLevelItemCount(), 1);
    auto flip = [&](Qt::CheckState to) {
      QVERIFY(reloads_after([&] { list->topLevelItem(0)->setCheckState(0, to); }));
    };
    flip(Qt::Checked);
    QCOMPARE(user_value("EDITOR"), std::optional<std::string>("nano"));
    QCOMPARE(user_value("PATH"), std::optional<std::string>(x));
    QCOMPARE(list->topLevelItem(0)->text(2),
             QStringLiteral("EDITOR was vim, PATH + ") + QString::fromStdString(x));
    flip(Qt::Unchecked);
    QCOMPARE(user_value("EDITOR"), std::optional<std::string>("vim"));
    QCOMPARE(user_value("PATH"), std::nullopt);
    flip(Qt::Checked);
    lib_set("user", "EDITOR", "emacs");
    flip(Qt::Unchecked);
    QCOMPARE(user_value("EDITOR"), std::optional<std::string>("emacs"));
    QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Checked);
    QVERIFY(user_widget<QLabel>("profilesMessage")->text().contains(QStringLiteral("EDITOR")));
    user_widget<QTableView>("variables")->selectAll();
    page->ask_name = [](const QString &) { return QStringLiteral("mine"); };
    click("profileNew");
    QCOMPARE(list->topLevelItem(0)->text(1),
             QStringLiteral("EDITOR=emacs, PATH + ") + QString::fromStdString(x));
  }

  void thePreviewMatchesKenvEnv() {
    GuiSandbox::write(sandbox_->user_envd() + "/10-pager.conf", "PAGER=less\n");
    set_in_form("EDITOR", "vim");
    QProcess kenv;
    kenv.start(QStringLiteral(KENV_BIN), {"env", "--json"});
    QVERIFY(kenv.waitForFinished(10000));
    QJsonArray expected = QJsonDocument::fromJson(kenv.readAllStandardOutput()).array();
    const std::vector<SessionVariable> &shown = window_->user()->session().vars();
    QVERIFY(!expected.isEmpty());
    QCOMPARE(shown.size(), static_cast<std::size_t>(expected.size()));
    for (std::size_t i = 0; i < shown.size(); ++i) {
      QJsonObject e = expected[static_cast<int>(i)].toObject();
      QCOMPARE(QString::fromStdString(shown[i].name), e["name"].toString());
      QCOMPARE(QString::fromStdString(shown[i].value), e["value"].toString());
      QCOMPARE(QString::fromStdString(shown[i].file), e["file"].toString());
    }
  }
};

QTEST_MAIN(GuiTest)
#include "gui_test.moc"
