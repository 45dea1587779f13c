// The `-d` tests that guard the lines of a shell start-up file (see rc_guards.h).
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "posix/rc_guards.h"

#include <algorithm>

namespace {

constexpr std::string_view blanks = " \t";

std::string_view skip_blanks(std::string_view s) {
  std::size_t start = s.find_first_not_of(blanks);
  return start == std::string_view::npos ? std::string_view() : s.substr(start);
}

std::string_view trim_end(std::string_view s) {
  std::size_t end = s.find_last_not_of(blanks);
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

// The keyword at the start of `s` followed by a blank, `;` or the end, and the text after it.
bool keyword(std::string_view s, std::string_view word, std::string_view &rest) {
  if (s.substr(0, word.size()) != word)
    return false;
  std::string_view after = s.substr(word.size());
  if (!after.empty() && blanks.find(after[0]) == after.npos && after[0] != ';')
    return false;
  rest = skip_blanks(after);
  return true;
}

// One word at the start of `s`: quoted whole with '...' or "...", or unquoted up to a blank
// or an operator. Its text without the quotes; false for a quote that does not close.
bool word(std::string_view &s, std::string_view &text) {
  if (!s.empty() && (s[0] == '"' || s[0] == '\'')) {
    std::size_t close = s.find(s[0], 1);
    if (close == s.npos)
      return false;
    text = s.substr(1, close - 1);
    s = skip_blanks(s.substr(close + 1));
    return true;
  }
  std::size_t end = std::min(s.find_first_of(" \t;&|<>()"), s.size());
  text = s.substr(0, end);
  s = skip_blanks(s.substr(end));
  return !text.empty();
}

// `[ -d DIR ]`, `[[ -d DIR ]]` or `test -d DIR` at the start of `s`: DIR, and the text after.
bool dir_test(std::string_view s, std::string_view &dir, std::string_view &rest) {
  std::string_view closer, after;
  if (keyword(s, "[[", after))
    closer = "]]";
  else if (keyword(s, "[", after))
    closer = "]";
  else if (!keyword(s, "test", after))
    return false;
  if (!keyword(after, "-d", after) || !word(after, dir))
    return false;
  if (!closer.empty() && !keyword(after, closer, after))
    return false;
  rest = after;
  return true;
}

// The text after the `; then` that ends an `if` condition, or "" when `then` is on a later
// line.
std::string_view after_then(std::string_view condition) {
  std::string_view body;
  for (std::size_t semi = condition.find(';'); semi != condition.npos; semi = condition.find(';', semi + 1))
    if (keyword(skip_blanks(condition.substr(semi + 1)), "then", body))
      return body;
  return {};
}

// Whether the text ends in the `fi` of an `if` written on one line.
bool ends_in_fi(std::string_view text) {
  text = trim_end(text);
  if (!text.empty() && text.back() == ';')
    text = trim_end(text.substr(0, text.size() - 1));
  if (text.size() < 2 || text.substr(text.size() - 2) != "fi")
    return false;
  return text.size() == 2 || text[text.size() - 3] == ';' || blanks.find(text[text.size() - 3]) != text.npos;
}

} // namespace

std::string_view rc_dir_guards::body(std::string_view rest, std::string_view line_dir) {
  dirs_.clear();
  for (std::string_view dir : open_)
    if (!dir.empty())
      dirs_.push_back(dir);
  if (!line_dir.empty())
    dirs_.push_back(line_dir);
  if (!open_.empty() && ends_in_fi(rest))
    open_.pop_back();
  return rest;
}

std::string_view rc_dir_guards::read(std::string_view line) {
  std::string_view text = skip_blanks(line), rest, dir;
  if (text.empty() || text[0] == '#')
    return body({}, {});
  if (keyword(text, "fi", rest)) {
    if (!open_.empty())
      open_.pop_back();
    return body({}, {});
  }
  if (keyword(text, "else", rest) && !open_.empty()) {
    open_.back() = {};
    return body(rest, {});
  }
  if (keyword(text, "elif", rest) && !open_.empty()) {
    open_.back() = dir_test(rest, dir, rest) ? dir : std::string_view();
    return body(after_then(rest), {});
  }
  if (keyword(text, "then", rest))
    return body(rest, {});
  if (keyword(text, "if", rest)) {
    open_.push_back(dir_test(rest, dir, rest) ? dir : std::string_view());
    return body(after_then(rest), {});
  }
  if (dir_test(text, dir, rest) && rest.substr(0, 2) == "&&")
    return body(skip_blanks(rest.substr(2)), dir);
  return body(text, {});
}

#endif
