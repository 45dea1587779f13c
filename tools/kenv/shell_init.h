// kenv shell-init: the lines that load the export files into a shell, and the explicit
// commands that wire them into the user's start-up files.
#pragma once

#include <string>

// The lines that load the export files into `shell` (sh, dash, bash, zsh or fish), without
// a banner: the user's alone for the shells whose login shells read /etc/profile (which
// sources the system scope's drop-in), the system's and then the user's for zsh and fish.
std::string shell_load_lines(const std::string &shell);

// `kenv shell-init --install`: puts kenv's marked block into the shell's start-up file
// once (for fish, a file of its own in conf.d), after copying an existing file to
// "<file>.kenv-backup-<UTC time>". Returns the lines that say what changed.
std::string install_shell_init(const std::string &shell);
// `kenv shell-init --uninstall`: removes exactly that block (the fish file), likewise
// after a backup copy.
std::string uninstall_shell_init(const std::string &shell);
