// The environment.d file syntax: reading it as systemd 252 reads it, and writing values so
// that a session receives exactly the bytes the library was given.
//
// Reading. envd_parse is a transcription of systemd's env-file parser (the state machine
// behind parse_env_file and merge_env_file), checked against systemd-environment-d-generator:
//  - Parsing stops at the first NUL byte. Both "\n" and "\r" end a line.
//  - Blanks (space, tab, newlines) before a name are skipped. A line whose first other byte
//    is '#' or ';' is a comment, and a backslash inside a comment joins the next line to it.
//  - The name is everything up to '=', trailing blanks removed. A line without '=' is ignored.
//    Names other than [A-Za-z_][A-Za-z0-9_]* are ignored by systemd, and so by our listing.
//  - Blanks after '=' are skipped. Then, repeatedly: '...' takes everything up to the next
//    single quote verbatim; "..." takes everything up to the next unescaped double quote, in
//    which a backslash before one of " \ ` $ stands for that byte, a backslash before a
//    newline disappears together with the newline, and any other backslash stays; blanks
//    between such parts are dropped. The first byte that is neither a quote nor a blank
//    starts the unquoted tail, which runs to the end of the line: quotes in it are plain
//    bytes, a backslash takes the next byte verbatim (a backslash-newline disappears, so
//    the value continues on the next line), and trailing blanks are removed unless a
//    backslash precedes them.
//  - An assignment whose value has no bytes at all (`NAME=`, `NAME=""`, `NAME=''`) is
//    invalid syntax to systemd and ignored.
//  - Later assignments of a name win but the name keeps its first position (merging is
//    done by envd_store.cpp). `$NAME` and `${NAME}` in values are left unexpanded.
//
// Writing. The library writes one line per variable, always as NAME="..." :
//  - Inside the double quotes, '\', '"' and '`' are preceded by a backslash. Everything else
//    is written as it is: blanks (leading and trailing ones too), '#', ';', '=', single
//    quotes and any UTF-8 text survive double quotes unchanged.
//  - '$' is special to systemd even inside quotes, and a backslash does not protect it:
//    systemd unescapes first and then expands `$NAME`, `${NAME}`, `${NAME:-x}`, `$5` and
//    turns `$$` into '$'. A '$' that begins a `$NAME` or `${NAME}` reference (NAME as above)
//    is written as it is and expands when the session starts; every other '$' is written as
//    `$$`, which systemd reads as one '$'. `${NAME:-x}` therefore stays literal text.
//    envd_own_value turns `$$` back into '$' when the library reads its own file.
//  - PATH is written as PATH="${PATH}:<value>" so that it extends the session's PATH instead
//    of replacing it; reading the own file removes the `${PATH}:` again.
//  - Refused, with the reason in the message: a name systemd would ignore; a value that is
//    not valid UTF-8 or holds a noncharacter (systemd 252's generator aborts on it, and the
//    session then gets none of environment.d); a value holding a control character (U+0001
//    to U+001F or U+007F: newline, tab, carriage return, escape...). systemd's parser reads
//    those inside double quotes, but the generator hands the environment to the service
//    manager in C-escaped form ("\n", "\t", "\033") that the manager does not unescape, so
//    the session would receive a backslash and letters instead of the byte.
//  - An empty value is not written at all (see envd_store.cpp).
#if !defined(_WIN32) && !defined(KENV_WIN_SIM)

#include "posix/posix.h"

namespace {

constexpr std::string_view newline_chars = "\n\r";
constexpr std::string_view blank_chars = " \t\n\r";
constexpr std::string_view comment_chars = "#;";
constexpr std::string_view unescaped_in_quotes = "\"\\`$";
constexpr std::size_t none = std::string::npos;

bool one_of(std::string_view set, char c) { return set.find(c) != std::string_view::npos; }

// The parser's working state; the member functions are the states of systemd's machine.
struct parser {
  envd_text &out;
  envd_state state = envd_state::pre_key;
  std::string key;
  std::string value;
  bool has_value = false;
  std::size_t key_blank = none;   // where the trailing blanks of the name begin
  std::size_t value_blank = none; // where the trailing blanks of an unquoted tail begin
  std::size_t line_begin = 0;     // start of the line the parser is on (in pre_key)
  std::size_t entry_begin = 0;

  void add(char c) {
    value.push_back(c);
    has_value = true;
  }
  void push(std::size_t end, bool chomp);
  void step(char c, std::size_t pos);
  void pre_key(char c, std::size_t pos);
  void in_key(char c, std::size_t pos);
  void pre_value(char c, std::size_t pos);
  void in_value(char c, std::size_t pos);
  void in_double_quote_escape(char c);
};

void parser::push(std::size_t end, bool chomp) {
  if (chomp && value_blank != none)
    value.resize(value_blank);
  if (key_blank != none)
    key.resize(key_blank);
  out.entries.push_back(envd_entry{key, value, has_value, entry_begin, end});
  key.clear();
  value.clear();
  has_value = false;
  line_begin = end;
}

void parser::pre_key(char c, std::size_t pos) {
  if (one_of(comment_chars, c)) {
    state = envd_state::comment;
  } else if (one_of(newline_chars, c)) {
    line_begin = pos + 1;
  } else if (!one_of(blank_chars, c)) {
    state = envd_state::key;
    key_blank = none;
    entry_begin = line_begin;
    key.push_back(c);
  }
}

void parser::in_key(char c, std::size_t pos) {
  if (one_of(newline_chars, c)) {
    state = envd_state::pre_key;
    key.clear();
    line_begin = pos + 1;
  } else if (c == '=') {
    state = envd_state::pre_value;
    value_blank = none;
  } else {
    if (!one_of(blank_chars, c))
      key_blank = none;
    else if (key_blank == none)
      key_blank = key.size();
    key.push_back(c);
  }
}

void parser::pre_value(char c, std::size_t pos) {
  if (one_of(newline_chars, c)) {
    state = envd_state::pre_key;
    push(pos + 1, false);
  } else if (c == '\'') {
    state = envd_state::single_quote;
  } else if (c == '"') {
    state = envd_state::double_quote;
  } else if (c == '\\') {
    state = envd_state::value_escape;
  } else if (!one_of(blank_chars, c)) {
    state = envd_state::value;
    add(c);
  }
}

void parser::in_value(char c, std::size_t pos) {
  if (one_of(newline_chars, c)) {
    state = envd_state::pre_key;
    push(pos + 1, true);
  } else if (c == '\\') {
    state = envd_state::value_escape;
    value_blank = none;
  } else {
    if (!one_of(blank_chars, c))
      value_blank = none;
    else if (value_blank == none)
      value_blank = value.size();
    add(c);
  }
}

void parser::in_double_quote_escape(char c) {
  state = envd_state::double_quote;
  if (one_of(unescaped_in_quotes, c)) {
    add(c);
  } else if (c != '\n') {
    add('\\');
    add(c);
  }
}

void parser::step(char c, std::size_t pos) {
  switch (state) {
  case envd_state::pre_key:
    return pre_key(c, pos);
  case envd_state::key:
    return in_key(c, pos);
  case envd_state::pre_value:
    return pre_value(c, pos);
  case envd_state::value:
    return in_value(c, pos);
  case envd_state::value_escape:
    state = envd_state::value;
    if (!one_of(newline_chars, c))
      add(c);
    return;
  case envd_state::single_quote:
    if (c == '\'')
      state = envd_state::pre_value;
    else
      add(c);
    return;
  case envd_state::double_quote:
    if (c == '"')
      state = envd_state::pre_value;
    else if (c == '\\')
      state = envd_state::double_quote_escape;
    else
      add(c);
    return;
  case envd_state::double_quote_escape:
    return in_double_quote_escape(c);
  case envd_state::comment:
    if (c == '\\') {
      state = envd_state::comment_escape;
    } else if (one_of(newline_chars, c)) {
      state = envd_state::pre_key;
      line_begin = pos + 1;
    }
    return;
  case envd_state::comment_escape:
    state = envd_state::comment;
    return;
  }
}

bool ends_in_value(envd_state s) {
  return s != envd_state::pre_key && s != envd_state::key && s != envd_state::comment &&
         s != envd_state::comment_escape;
}

bool name_start(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool name_char(char c) { return name_start(c) || (c >= '0' && c <= '9'); }

// The length of the `$NAME` or `${NAME}` reference at the start of `s` (which begins with
// '$'), or 0 when the '$' begins none.
std::size_t reference_length(std::string_view s) {
  std::size_t i = 1;
  bool braced = i < s.size() && s[i] == '{';
  if (braced)
    ++i;
  if (i >= s.size() || !name_start(s[i]))
    return 0;
  while (i < s.size() && name_char(s[i]))
    ++i;
  if (!braced)
    return i;
  return i < s.size() && s[i] == '}' ? i + 1 : 0;
}

void append_quoted(std::string &line, std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '$') {
      std::size_t n = reference_length(value.substr(i));
      line.append(n ? value.substr(i, n) : std::string_view("$$"));
      i += n ? n - 1 : 0;
      continue;
    }
    if (c == '\\' || c == '"' || c == '`')
      line.push_back('\\');
    line.push_back(c);
  }
}

// The scalar value of the sequence at s[i] of `len` bytes, or -1 when it is malformed.
long decode_sequence(std::string_view s, std::size_t i, std::size_t len) {
  static constexpr unsigned char lead_mask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  if (i + len > s.size())
    return -1;
  long cp = static_cast<unsigned char>(s[i]) & lead_mask[len];
  for (std::size_t k = 1; k < len; ++k) {
    unsigned char b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80)
      return -1;
    cp = (cp << 6) | (b & 0x3F);
  }
  return cp;
}

std::size_t sequence_length(unsigned char lead) {
  if (lead < 0x80)
    return 1;
  if ((lead & 0xE0) == 0xC0)
    return 2;
  if ((lead & 0xF0) == 0xE0)
    return 3;
  if ((lead & 0xF8) == 0xF0)
    return 4;
  return 0;
}

bool scalar_acceptable(long cp, std::size_t len) {
  static constexpr long shortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < shortest[len] || cp > 0x10FFFF)
    return false; // overlong or out of range
  if (cp >= 0xD800 && cp <= 0xDFFF)
    return false; // surrogate
  if (cp >= 0xFDD0 && cp <= 0xFDEF)
    return false; // noncharacter
  return (cp & 0xFFFE) != 0xFFFE;
}

} // namespace

void envd_parse(std::string_view text, envd_text &out) {
  out.entries.clear();
  parser p{out};
  std::size_t pos = 0;
  for (; pos < text.size() && text[pos] != '\0'; ++pos)
    p.step(text[pos], pos);
  if (ends_in_value(p.state))
    p.push(pos, p.state == envd_state::value);
  out.end_state = p.state;
}

bool envd_name_valid(std::string_view name) {
  if (name.empty() || !name_start(name[0]))
    return false;
  for (char c : name)
    if (!name_char(c))
      return false;
  return true;
}

bool envd_utf8_valid(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = sequence_length(static_cast<unsigned char>(text[i]));
    long cp = len ? decode_sequence(text, i, len) : -1;
    if (cp < 0 || !scalar_acceptable(cp, len))
      return false;
    i += len;
  }
  return true;
}

int envd_unpassable_byte(std::string_view value) {
  for (char c : value) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F)
      return b;
  }
  return -1;
}

std::string envd_assignment(std::string_view name, std::string_view value, bool is_path) {
  std::string line(is_path ? std::string_view("PATH") : name);
  line.append(is_path ? "=\"${PATH}:" : "=\"");
  append_quoted(line, value);
  line.append("\"\n");
  return line;
}

std::string envd_own_value(std::string_view value, bool is_path) {
  constexpr std::string_view prefix = "${PATH}:";
  if (is_path && value.substr(0, prefix.size()) == prefix)
    value.remove_prefix(prefix.size());
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    out.push_back(value[i]);
    if (value[i] == '$' && i + 1 < value.size() && value[i + 1] == '$')
      ++i;
  }
  return out;
}

std::string_view envd_terminator(envd_state state) {
  switch (state) {
  case envd_state::pre_key:
    return "";
  case envd_state::value_escape:
  case envd_state::comment_escape:
    return "\n\n"; // the first newline is eaten by the pending backslash
  case envd_state::single_quote:
    return "'\n";
  case envd_state::double_quote:
    return "\"\n";
  case envd_state::double_quote_escape:
    return "\n\"\n";
  default:
    return "\n";
  }
}

#endif
