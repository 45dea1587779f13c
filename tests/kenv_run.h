// Runs kenv, or a shell, the way a user would: as a child process with the test's
// environment (the sandbox's HOME and XDG folders) plus a few changes, capturing stdout,
// stderr and the exit status. Also a fixture that every kenv test shares.
#pragma once

#include "support/sandbox.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

struct Outcome {
  std::string out;
  std::string err;
  int status = -1; // the exit status, or -1 when the process did not exit normally
};

// Environment changes for one run: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// Runs argv[0] (an absolute path) with stdin from /dev/null. When `stdout_path` is given,
// stdout goes to that file instead of being captured.
Outcome run_process(const std::vector<std::string> &argv, const EnvChanges &env = {},
                    const std::string &stdout_path = "");

// Runs the program in a pseudo-terminal and returns everything it wrote there.
Outcome run_in_terminal(const std::vector<std::string> &argv, const EnvChanges &env = {});

// Splits the output of `env -0` into names and values.
std::map<std::string, std::string> parse_env0(const std::string &text);

class KenvTest : public Sandbox {
protected:
  // kenv with these arguments, without NO_COLOR and with SHELL=/bin/sh unless changed.
  Outcome kenv(const std::vector<std::string> &args, const EnvChanges &env = {});
  // Like kenv(), but fails the test unless kenv succeeded without a word on stderr.
  std::string kenv_ok(const std::vector<std::string> &args, const EnvChanges &env = {});
  // The user scope's export file (the system scope's is the sandbox's system_export()).
  std::string user_export() const { return data_dir() + "/exports/user-env.sh"; }
};
