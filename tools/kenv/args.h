// The words of one kenv command: which options it takes, what was given, and the checks
// every command shares (scope, indexes, word counts).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A mistake in how kenv was called. main prints it with a pointer to the command's help and
// exits with status 2, before anything was changed.
struct UsageError : std::runtime_error {
  UsageError(std::string command, const std::string &message)
      : std::runtime_error(message), command(std::move(command)) {}
  std::string command; // "path add", "list", ... or "" for kenv itself
};

// The options one command accepts, without their leading "--". A flag stands alone; a
// valued option takes the next word, or the text after "=" in "--name=value".
struct OptionSet {
  std::vector<std::string> flags;
  std::vector<std::string> valued;
};

struct Args {
  std::string command;
  std::vector<std::string> words;                                // positional words, in order
  std::map<std::string, std::string> values;                     // valued options; the last one given wins
  std::vector<std::pair<std::string, std::string>> given_values; // every valued option, in order
  std::vector<std::string> flags;                                // flags given
  bool help = false;                                             // -h or --help was given

  bool has(const std::string &flag) const;
  std::optional<std::string> value(const std::string &name) const;
  // Every value given to an option that may be repeated, in order.
  std::vector<std::string> every_value(const std::string &name) const;
};

// Splits argv into options and words. "--" ends the options, so that a word may start
// with "-"; a lone "-" and a negative number such as "-1" are words. Unknown options and
// missing values are usage errors.
Args parse_args(const std::string &command, const std::vector<std::string> &argv, const OptionSet &accepted);

// Fails unless the number of words lies between min and max; `what` names the expected
// words for the message, as in "NAME VALUE".
void expect_words(const Args &args, std::size_t min, std::size_t max, const char *what);

// "--scope user|system" in any letter case, lower-cased; "user" when not given.
std::string scope_option(const Args &args);

// kenv's own options before the command word, as in `kenv --scope system get X`, moved
// behind it, where the command reads them like its own options. Returns the words from the
// command word on; words that do not start with global options come back unchanged.
std::vector<std::string> move_global_options(const std::vector<std::string> &words);

// The position of a subcommand (as in `kenv path add`) among the words: the first word that
// is neither an option nor the value of one of `valued` (names with their "--"). npos when
// there is none, or when "--" comes first.
std::size_t find_subcommand(const std::vector<std::string> &argv, const std::vector<std::string> &valued);

// A PATH position: a decimal number from 0 to 2147483647.
std::int32_t index_word(const std::string &command, const std::string &what, const std::string &text);
