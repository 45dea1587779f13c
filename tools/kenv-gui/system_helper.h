// Changes of the system scope made as an administrator: kenv-gui starts pkexec with
// kenv-system-helper and writes the change to the helper's standard input; polkit asks for
// an administrator's password (remembered for a few minutes, auth_admin_keep) before the
// helper runs as root. The helper's answer comes back as the library's would.
#pragma once

#include "run_request.h"

#include <QString>

#include <optional>
#include <string>

struct HelperRoute {
  QString pkexec; // the program that runs the helper as root: pkexec, or a stand-in in tests
  QString helper; // kenv-system-helper, by its absolute path, as polkit's policy names it
};

// pkexec on PATH and the helper where this kenv-gui was installed with it (or, in a build
// tree, beside it); nothing when either is missing.
std::optional<HelperRoute> installed_helper_route();

// Runs the change through the route and waits for it, however long the password prompt
// takes. Returns the helper's note; throws LibraryError with the helper's refusal, or with
// what went wrong on the way (no authorisation, pkexec missing). A change the request
// cannot carry whole (a NUL byte, more than max_request_size) is refused before pkexec starts.
std::string run_through_helper(const HelperRoute &route, const SystemRequest &request);
