#include "system_edit.h"

#include "gui_platform.h"
#include "scope_changes.h"

#include <QAction>

namespace {

const char *const action_name = "editSystemScope";

QString note_with_route() {
  return QObject::tr("The system scope is read-only here: changing it needs an administrator. Choose "
                     "Edit system scope… to make changes as one; polkit asks for an administrator's "
                     "password.");
}

QString note_when_editing() {
  return QObject::tr("Each change of the system scope runs as an administrator through polkit, which "
                     "asks for the password unless it was given a few minutes ago.");
}

QAction *make_action(ScopeTab *tab, QMenu *menu, const HelperRoute &route) {
  auto *action = new QAction(QObject::tr("Edit s&ystem scope…"), menu);
  action->setObjectName(QString::fromLatin1(action_name));
  QObject::connect(action, &QAction::triggered, tab, [tab, action, route] {
    route_system_changes(route);
    tab->set_read_only({});
    tab->set_note(note_when_editing());
    action->setEnabled(false);
  });
  menu->addAction(action);
  return action;
}

} // namespace

SystemAccess system_access_here() {
  SystemAccess access;
  access.writable = can_write_system_scope(&access.why);
  if (!access.writable)
    access.route = installed_helper_route();
  return access;
}

void set_up_system_tab(ScopeTab *tab, QMenu *menu, const SystemAccess &access) {
  route_system_changes(std::nullopt);
  delete menu->findChild<QAction *>(QString::fromLatin1(action_name));
  if (access.writable)
    return tab->set_read_only({});
  if (!access.route)
    return tab->set_read_only(access.why);
  tab->set_read_only(note_with_route(), make_action(tab, menu, *access.route));
}
