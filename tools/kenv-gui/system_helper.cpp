#include "system_helper.h"

#include "library.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

QString first_existing(const QStringList &candidates) {
  for (const QString &c : candidates)
    if (QFileInfo(c).isExecutable())
      return c;
  return {};
}

std::string trimmed(const QByteArray &bytes) {
  return bytes.trimmed().toStdString();
}

// pkexec answers 126 when the password dialog was dismissed and 127 when polkit refused
// (or the helper could not be run); the helper itself answers only 0, 1 and 2, with one
// line on stderr for 1 and 2.
std::string why_not_run(int status, const QByteArray &err) {
  std::string what = status == 126 ? "the administrator's password was not given"
                                   : "polkit did not let kenv-system-helper run as an administrator";
  std::string said = trimmed(err);
  return said.empty() ? what : what + " (" + said + ")";
}

} // namespace

std::optional<HelperRoute> installed_helper_route() {
  QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
  QString helper =
      first_existing({QStringLiteral(KENV_SYSTEM_HELPER),
                      QCoreApplication::applicationDirPath() + QStringLiteral("/kenv-system-helper")});
  if (pkexec.isEmpty() || helper.isEmpty())
    return std::nullopt;
  return HelperRoute{pkexec, QFileInfo(helper).absoluteFilePath()};
}

std::string run_through_helper(const HelperRoute &route, const SystemRequest &request) {
  if (std::optional<std::string> why = why_not_carried(request))
    throw LibraryError(*why);
  QProcess process;
  process.start(route.pkexec, {route.helper});
  if (!process.waitForStarted(-1))
    throw LibraryError("cannot start " + route.pkexec.toStdString() + ": " +
                       process.errorString().toStdString());
  std::string text = encode_request(request);
  process.write(text.data(), static_cast<qint64>(text.size()));
  process.closeWriteChannel();
  process.waitForFinished(-1);
  QByteArray out = process.readAllStandardOutput(), err = process.readAllStandardError();
  if (process.exitStatus() != QProcess::NormalExit)
    throw LibraryError("kenv-system-helper stopped before it answered");
  switch (process.exitCode()) {
  case 0:
    return trimmed(out);
  case 1:
  case 2:
    throw LibraryError(trimmed(err));
  default:
    throw LibraryError(why_not_run(process.exitCode(), err));
  }
}
