// What kenv-gui asks of the operating system beyond the library.
#pragma once

#include <QString>

// Whether this process may change the system scope. When it may not, the system tab is
// read-only and `why` says what it would take.
bool can_write_system_scope(QString *why);
