// The help texts of kenv and of each of its commands.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Prints the help of a topic ("" for kenv itself, "list", "path add", ...) to stdout and
// returns 0. An unknown topic is a usage error.
int show_help(std::string_view topic);
// `kenv help [COMMAND [SUBCOMMAND]]`.
int show_help_for(const std::vector<std::string> &words);
// The short usage shown on stderr when kenv is run without a command.
std::string help_summary();
