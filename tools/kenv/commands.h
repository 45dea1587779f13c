// The commands main dispatches to. Each takes the words after its name, returns the exit
// status, and throws UsageError or LibraryError for main to report.
#pragma once

#include <string>
#include <vector>

using Words = std::vector<std::string>;

int cmd_list(const Words &argv);
int cmd_env(const Words &argv);
int cmd_get(const Words &argv);
int cmd_set(const Words &argv);
int cmd_unset(const Words &argv);
int cmd_path(const Words &argv);
int cmd_backups(const Words &argv);
int cmd_restore(const Words &argv);
int cmd_export(const Words &argv);
int cmd_apply(const Words &argv);
int cmd_profile(const Words &argv);
int cmd_shell_init(const Words &argv);
int cmd_doctor(const Words &argv);
// Hidden: the words the shell completions ask for.
int cmd_complete(const Words &argv);
