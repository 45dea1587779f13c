// Value expansion as systemd's environment.d generator does it when a session starts: one
// left-to-right pass over the value, after the file's quotes and escapes were read.
//  - `$$` is one '$'.
//  - `$` followed by a letter, digit or '_' starts a bare name that runs as long as such
//    bytes follow (so `$5y` names "5y"); `${...}` names whatever lies between the braces.
//  - `${NAME:-word}` gives NAME's value when NAME is defined (even as empty), else the
//    expanded word; `${NAME:+word}` gives the expanded word when NAME is defined, else
//    nothing. Braces inside the word nest. Any other `${NAME:...}` stays as written.
//  - An undefined name gives nothing; a reference that is never closed stays as written.
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "posix/posix.h"

namespace {

bool bash_name_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// Words nested deeper than this are kept as written instead of expanded: systemd recurses
// once per level, and so would this, without end on a hostile file.
constexpr int max_depth = 64;

enum class state { word, curly, variable, variable_raw, test, default_value, alternate_value };

struct expander {
  std::string_view text;
  const envd_lookup &get;
  int depth;
  std::string out;
  std::size_t word = 0; // the start of what is not yet copied or expanded
  std::size_t name_length = 0;
  std::size_t test_value = 0;
  int nest = 0;
  state at = state::word;

  void append(std::optional<std::string_view> value) {
    if (value)
      out.append(*value);
  }
  void close_operator(std::size_t i) {
    if (--nest != 0)
      return;
    std::optional<std::string_view> value = get(text.substr(word + 2, name_length));
    std::string_view inner = text.substr(test_value, i - test_value);
    bool use_word = value ? at == state::alternate_value : at == state::default_value;
    if (use_word && depth >= max_depth)
      out.append(text.substr(word, i + 1 - word));
    else if (use_word)
      out.append(envd_expand(inner, get, depth + 1));
    else if (at == state::default_value)
      append(value);
    word = i + 1;
    at = state::word;
  }
  // One byte; returns false when the byte must be looked at again in the new state.
  bool step(std::size_t i) {
    char c = text[i];
    switch (at) {
    case state::word:
      if (c == '$')
        at = state::curly;
      return true;
    case state::curly:
      if (c == '{' || bash_name_char(c)) {
        out.append(text.substr(word, i - word - 1));
        word = i - 1;
        at = c == '{' ? state::variable : state::variable_raw;
        nest += c == '{' ? 1 : 0;
      } else if (c == '$') {
        out.append(text.substr(word, i - word));
        word = i + 1;
        at = state::word;
      } else {
        at = state::word;
      }
      return true;
    case state::variable:
      if (c == '}') {
        append(get(text.substr(word + 2, i - word - 2)));
        word = i + 1;
        at = state::word;
        --nest;
      } else if (c == ':') {
        name_length = i - word - 2;
        at = state::test;
      }
      return true;
    case state::test:
      at = c == '-' ? state::default_value : c == '+' ? state::alternate_value : state::word;
      test_value = i + 1;
      return true;
    case state::default_value:
    case state::alternate_value:
      if (c == '{')
        ++nest;
      else if (c == '}')
        close_operator(i);
      return true;
    case state::variable_raw:
      if (bash_name_char(c))
        return true;
      append(get(text.substr(word + 1, i - word - 1)));
      word = i;
      at = state::word;
      return false;
    }
    return true;
  }
  std::string run() {
    for (std::size_t i = 0; i < text.size();)
      i += step(i) ? 1 : 0;
    if (at == state::variable_raw)
      append(get(text.substr(word + 1)));
    else
      out.append(text.substr(word));
    return std::move(out);
  }
};

} // namespace

std::string envd_expand(std::string_view value, const envd_lookup &get, int depth) {
  if (value.find('$') == std::string_view::npos)
    return std::string(value);
  return expander{value, get, depth, {}}.run();
}

#endif
