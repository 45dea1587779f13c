#include "gui_platform.h"

#ifdef _WIN32
#include "platform.h"

// The machine's Environment key takes writes from an elevated process only.
bool can_write_system_scope(QString *why) {
  bool elevated = process_is_elevated();
  if (!elevated && why)
    *why = QStringLiteral("The system scope is read-only here: changing it needs an administrator. "
                          "Start kenv-gui with \"Run as administrator\" to edit it.");
  return elevated;
}
#else
#include <unistd.h>

// The library writes the system scope into the system's environment.d directory (or makes
// it in the configuration directory): whoever may write there may change the scope.
bool can_write_system_scope(QString *why) {
  const char *envd = KENV_SYSCONFDIR "/environment.d";
  bool writable = access(envd, F_OK) == 0 ? access(envd, W_OK) == 0 : access(KENV_SYSCONFDIR, W_OK) == 0;
  if (!writable && why)
    *why = QStringLiteral("The system scope is read-only here: changing it means writing %1, which needs "
                          "root. Use sudo kenv --scope system, or install pkexec to edit it from here.")
               .arg(QString::fromUtf8(envd));
  return writable;
}
#endif
