// Who may change the system scope from the window. A normal user sees it read-only, with
// "Edit system scope…" in the tab and in the Edit menu when pkexec and kenv-system-helper
// are there: choosing it makes the tab editable and sends each of its changes through the
// helper, which polkit runs as root once an administrator's password is given.
#pragma once

#include "scope_tab.h"
#include "system_helper.h"

#include <QMenu>

#include <optional>

struct SystemAccess {
  bool writable = false;            // this process writes the system scope itself (root)
  QString why;                      // when it cannot: what it would take
  std::optional<HelperRoute> route; // an administrator's way in, when there is one
};

// This process's access: the system configuration directory's rights and the helper route.
SystemAccess system_access_here();

// Makes the system tab writable, or read-only with the note and, given a route, the
// action. Replaces whatever an earlier call set up.
void set_up_system_tab(ScopeTab *tab, QMenu *menu, const SystemAccess &access);
