// Writing results: colour when stdout is a terminal, values made safe to show on one line,
// and the small layout helpers the readable views share.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Colour is on only when stdout is a terminal, NO_COLOR is not set and TERM is not "dumb".
// With colour off every function returns its text unchanged.
struct Style {
  bool colour = false;

  std::string bold(std::string_view text) const;
  std::string dim(std::string_view text) const;
  std::string warn(std::string_view text) const; // yellow
  std::string bad(std::string_view text) const;  // red
  std::string good(std::string_view text) const; // green
};

Style stdout_style();

// The text with control characters written as \n, \t, \r, \e or \xHH (C1 controls too), so
// that a value never breaks the layout or sends commands to the terminal. Nothing is left
// out; everything else is copied byte for byte.
std::string visible(std::string_view text);

// Characters as a terminal counts them, approximately: UTF-8 code points.
std::size_t width_of(std::string_view text);

// The text followed by blanks up to `width` characters.
std::string pad(std::string_view text, std::size_t width);

// At most `max` characters: a longer text is cut and ends in "…". max 0 means no limit.
std::string cut(std::string_view text, std::size_t max);

// The text in single quotes for sh, with each single quote written as '\''.
std::string sh_quote(std::string_view text);

// A Windows path as Windows shows it, every '/' a backslash; and as the POSIX shells on
// Windows (Git Bash, MSYS2, Cygwin) take it in a command, every backslash a '/'. The library
// joins its own file names with '/', which Windows accepts too.
std::string windows_path(std::string_view path);
std::string posix_shell_path(std::string_view path);

void write_out(std::string_view text);
void write_err(std::string_view text);
