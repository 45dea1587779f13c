// Checks of the Windows backend against a registry, written once for two registries: the
// simulator's (the simulation build runs them as GoogleTest cases) and wine's (a program
// cross-compiled with mingw-w64 runs them under wine). They use only the backend's
// functions and the registry's own API, so passing in both places shows that the simulator
// behaves as a real registry does wherever the backend relies on it.
//
// Every value a check makes is named "KENV_CHECK_...", and each check removes such values
// before and after it runs. Checks that need APPDATA take it from the process environment.
#pragma once

#include <string>
#include <vector>

struct registry_check {
  const char *name;
  // "" when the check passed, otherwise one line per failed expectation.
  std::string (*run)();
};

const std::vector<registry_check> &registry_checks();

// Removes every "KENV_CHECK_..." value of the user's key.
void remove_registry_check_values();
