// The system scope changed from the window by a user who may not write it. pkexec is
// replaced by a stand-in script that runs the helper as pkexec does (with an emptied
// environment, the change on its standard input) and records how it was called, so the
// way from the form through kenv-system-helper and back runs without a password prompt.
#include "gui_sandbox.h"
#include "library.h"
#include "main_window.h"
#include "scope_changes.h"
#include "system_edit.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>

class SystemEditTest : public QObject {
  Q_OBJECT
  std::unique_ptr<GuiSandbox> sandbox_;
  std::unique_ptr<MainWindow> window_;

  QString path(const char *name) const { return QString::fromStdString(sandbox_->root()) + "/" + name; }

  // A pkexec stand-in: records its arguments, then runs the body.
  QString stand_in(const char *body) {
    QString script = path("pkexec");
    QFile file(script);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\nprintf '%s\\n' \"$@\" >>\"" + path("pkexec.log").toUtf8() + "\"\n" + body + "\n");
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return script;
  }

  void offer(const char *body) {
    HelperRoute route{stand_in(body), QStringLiteral(KENV_HELPER)};
    set_up_system_tab(window_->system(), window_->edit_menu(),
                      SystemAccess{false, QStringLiteral("no"), route});
  }

  QAction *edit_action() {
    return window_->edit_menu()->findChild<QAction *>(QStringLiteral("editSystemScope"));
  }

  template <class W> W *system_widget(const char *name) {
    W *w = window_->system()->findChild<W *>(QString::fromLatin1(name));
    if (!w)
      qFatal("no widget %s", name);
    return w;
  }

  bool set_in_form(const std::string &name, const std::string &value) {
    system_widget<QLineEdit>("name")->setText(QString::fromStdString(name));
    system_widget<QLineEdit>("value")->setText(QString::fromStdString(value));
    QSignalSpy spy(window_.get(), &MainWindow::reloaded);
    QTest::mouseClick(system_widget<QPushButton>("set"), Qt::LeftButton);
    return spy.wait(10000);
  }

  static std::optional<std::string> system_value(const std::string &name) {
    Listing listing = parse_listing(lib_list("system"));
    const Variable *v = find_variable(listing, name);
    return v ? std::optional<std::string>(v->value) : std::nullopt;
  }

  QString message() { return system_widget<QLabel>("variablesMessage")->text(); }

private slots:
  void init() {
    sandbox_ = std::make_unique<GuiSandbox>();
    window_ = std::make_unique<MainWindow>();
    window_->scopes()->setCurrentWidget(window_->system());
    window_->show();
    QSignalSpy spy(window_.get(), &MainWindow::reloaded);
    window_->reload();
    QVERIFY(spy.wait(10000));
  }

  void cleanup() {
    window_.reset();
    sandbox_.reset();
  }

  void theSystemTabStaysReadOnlyUntilTheActionIsChosen() {
    offer("exec env -i \"$@\"");
    QVERIFY(!system_widget<QLineEdit>("name")->isEnabled());
    QCOMPARE(system_widget<QToolButton>("readOnlyAction")->defaultAction(), edit_action());
    edit_action()->trigger();
    QVERIFY(system_widget<QLineEdit>("name")->isEnabled());
    QVERIFY(!edit_action()->isEnabled());
  }

  void aValueAndAPathEntryArriveThroughTheHelperByteForByte() {
    offer("exec env -i \"$@\"");
    edit_action()->trigger();
    const std::string value = "a b 'c' \"d\" \\ $HOME ${X:-y} %P% ü 🦊 ;|&*";
    QVERIFY(set_in_form("KENV_SYSTEM_EDIT", value));
    QCOMPARE(system_value("KENV_SYSTEM_EDIT"), std::optional<std::string>(value));
    QCOMPARE(message(), QString());
    const std::string entry = sandbox_->root() + "/bin with ' and ü";
    system_widget<QLineEdit>("pathEntry")->setText(QString::fromStdString(entry));
    window_->system()->pages()->setCurrentWidget(window_->system()->path());
    QSignalSpy spy(window_.get(), &MainWindow::reloaded);
    QTest::mouseClick(system_widget<QPushButton>("pathAdd"), Qt::LeftButton);
    QVERIFY(spy.wait(10000));
    QCOMPARE(system_value("PATH"), std::optional<std::string>(entry));
    QFile log(path("pkexec.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray(KENV_HELPER "\n" KENV_HELPER "\n"));
  }

  void pathSwitchesProfilesAndAppliesRunThroughTheHelperToo() {
    offer("exec env -i \"$@\"");
    edit_action()->trigger();
    const std::string entry = sandbox_->root() + "/tools";
    change_path_add("system", entry, 0);
    change_entry_off("system", entry);
    QVERIFY(system_value("PATH") != std::optional<std::string>(entry));
    QVERIFY(change_entry_on("system", entry));
    QCOMPARE(system_value("PATH"), std::optional<std::string>(entry));
    change_set("system", "EDITOR", "vim");
    change_profile_new("system", "editing", {"EDITOR"});
    change_profile_remove("system", "editing");
    GuiSandbox::write(sandbox_->root() + "/pager.env", "PAGER=less\n");
    change_profile_import("system", "paging", sandbox_->root() + "/pager.env");
    const std::string doc = sandbox_->root() + "/apply.env";
    GuiSandbox::write(doc, "KENV_APPLIED=yes\n");
    change_apply(plan_apply(doc, "system"));
    QCOMPARE(system_value("KENV_APPLIED"), std::optional<std::string>("yes"));
    // The document the window showed goes to the helper, whatever the file holds by then.
    GuiSandbox::write(doc, "KENV_APPLIED=shown\n");
    ApplyPlan shown = plan_apply(doc, "system");
    GuiSandbox::write(doc, "KENV_APPLIED=not shown\n");
    change_apply(shown);
    QCOMPARE(system_value("KENV_APPLIED"), std::optional<std::string>("shown"));
    // A scope that changed since the window showed the changes refuses them.
    ApplyPlan stale = plan_apply(doc, "system");
    lib_set("system", "KENV_APPLIED", "meanwhile");
    QVERIFY_THROWS_EXCEPTION(LibraryError, change_apply(stale));
    QCOMPARE(system_value("KENV_APPLIED"), std::optional<std::string>("meanwhile"));
    QFile log(path("pkexec.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count('\n'), 10);
  }

  void refusalsComeBackToThePage_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("said");
    std::string refusal;
    try {
      lib_set("system", "1BAD", "x");
    } catch (const LibraryError &e) {
      refusal = e.what();
    }
    QTest::newRow("the library's refusal")
        << QByteArray("exec env -i \"$@\"") << QStringLiteral("1BAD") << QString::fromStdString(refusal);
    QTest::newRow("a dismissed password prompt")
        << QByteArray("exit 126") << QStringLiteral("EDITOR")
        << QStringLiteral("the administrator's password was not given");
    QTest::newRow("polkit's refusal")
        << QByteArray("echo 'Not authorized' >&2; exit 127") << QStringLiteral("EDITOR")
        << QStringLiteral("polkit did not let kenv-system-helper run as an "
                          "administrator (Not authorized)");
  }

  void refusalsComeBackToThePage() {
    QFETCH(QByteArray, body);
    QFETCH(QString, name);
    QFETCH(QString, said);
    QVERIFY(!said.isEmpty());
    offer(body.constData());
    edit_action()->trigger();
    QVERIFY(set_in_form(name.toStdString(), "x"));
    QCOMPARE(message(), QStringLiteral("Not changed: ") + said);
    QCOMPARE(system_value(name.toStdString()), std::nullopt);
  }

  // The helper reads a document from its request, where a NUL byte would end the field and
  // more than the request cap would not be read: such a document never reaches pkexec.
  void aDocumentTheHelperCannotCarryIsRefusedBeforePkexecStarts_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("apply");
    QTest::addColumn<QString>("said");
    const QByteArray nul("KENV_A=1\n\0KENV_B=2\n", 19);
    const QByteArray large = "KENV_A=" + QByteArray(max_request_size, 'x') + "\n";
    const QString too_large = QStringLiteral("larger than the");
    QTest::newRow("import, a NUL byte") << nul << false << QStringLiteral("holds a NUL byte");
    QTest::newRow("apply, a NUL byte") << nul << true << QStringLiteral("holds a NUL byte");
    QTest::newRow("import, too large") << large << false << too_large;
    QTest::newRow("apply, too large") << large << true << too_large;
  }

  void aDocumentTheHelperCannotCarryIsRefusedBeforePkexecStarts() {
    QFETCH(QByteArray, document);
    QFETCH(bool, apply);
    QFETCH(QString, said);
    offer("exec env -i \"$@\"");
    edit_action()->trigger();
    const std::string doc = sandbox_->root() + "/doc.env";
    GuiSandbox::write(doc, document.toStdString());
    QString refusal;
    try {
      if (apply)
        change_apply(plan_apply(doc, "system"));
      else
        change_profile_import("system", "imported", doc);
    } catch (const std::exception &e) {
      refusal = QString::fromUtf8(e.what());
    }
    QVERIFY2(refusal.contains(said), qPrintable(refusal));
    QVERIFY(!QFile::exists(path("pkexec.log")));
  }

  void theHelperTakesNothingButOneWholeChange_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("unterminated") << QByteArray("set\0A\0b", 7);
    QTest::newRow("unknown operation") << QByteArray("chmod\0A\0", 8);
    QTest::newRow("too few fields") << QByteArray("set\0A\0", 6);
    QTest::newRow("index not a number") << QByteArray("path-add\0/x\0one\0", 16);
    QTest::newRow("too large") << QByteArray("set\0A\0", 6) + QByteArray(max_request_size, 'x') +
                                      QByteArray(1, '\0');
  }

  void theHelperTakesNothingButOneWholeChange() {
    QFETCH(QByteArray, input);
    QProcess helper;
    helper.start(QStringLiteral(KENV_HELPER), {});
    helper.write(input);
    helper.closeWriteChannel();
    QVERIFY(helper.waitForFinished(10000));
    QCOMPARE(helper.exitCode(), 2);
    QCOMPARE(system_value("A"), std::nullopt);
  }
};

QTEST_MAIN(SystemEditTest)
#include "gui_system_edit_test.moc"
