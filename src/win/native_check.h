// What the Windows backend can tell before a change starts: whether the registry could take
// the pair at all. For the platform layer's up-front check, so that a change that would fail
// at its native step fails before its backup and store are written.
#pragma once

// 0 when `name` and `value` (nullptr for "") are valid UTF-8 and, for the system scope, the
// machine's Environment key opens for writing. Otherwise -1 with the message the write itself
// would give: "cannot write '%s' to the registry: not valid UTF-8", or "cannot open HKLM
// Environment key for write (%ld) — admin required for system scope". The user's key is not
// opened: it is the user's own, and a failure there is reported by the write.
int win_native_check(const char *scope, const char *name, const char *value);
