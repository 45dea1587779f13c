// The environment.d file syntax: reading it as systemd 252 reads it, and writing values so
// that a session receives exactly the bytes the library was given.
//
// Reading. envd_parse is a transcription of systemd's env-file parser (the state machine
// behind parse_env_file and merge_env_file), checked against systemd-environment-d-generator:
//  - A file holding a NUL byte is refused whole. Both "\n" and "\r" end a line.
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
// Writing. The library writes one line per variable:
//  - NAME=value, bare, when every byte of the value is a letter, a digit, one of
//    _ - . / : , + = @ % ^ ~ { } $ or part of a non-ASCII UTF-8 character. Nothing among
//    these is special to systemd in an unquoted value, and the line reads plainly.
//  - NAME="value" otherwise. Inside the double quotes, '\', '"' and '`' are preceded by a
//    backslash; everything else is written as it is: blanks (leading and trailing ones too),
//    '#', ';', single quotes and any UTF-8 text survive double quotes unchanged.
//  - '$' is special to systemd even inside quotes, and a backslash does not protect it:
//    systemd unescapes first and then expands `$NAME`, `${NAME}`, `${NAME:-x}`, `$5` and
//    turns `$$` into '$'. A '$' that begins a `$NAME` or `${NAME}` reference (NAME as above)
//    is written as it is and expands when the session starts; every other '$' is written as
//    `$$`, which systemd reads as one '$'. `${NAME:-x}` therefore stays literal text.
//    envd_own_value turns `$$` back into '$' when the library reads its own file.
//  - PATH is written as PATH=${PATH}:<value> (quoted as above when the value needs it), so
//    that it extends the session's PATH instead of replacing it; reading the own file
//    removes the `${PATH}:` again.
//  - Refused, with the reason in the message: a name systemd would ignore; a value that is
//    not valid UTF-8 or holds a noncharacter (systemd 252's generator aborts on it, and the
//    session then gets none of environment.d); a value holding a control character (U+0001
//    to U+001F or U+007F: newline, tab, carriage return, escape...). systemd's parser reads
//    those inside double quotes, but the generator hands the environment to the service
//    manager in C-escaped form ("\n", "\t", "\033") that the manager does not unescape, so
//    the session would receive a backslash and letters instead of the byte.
//  - An empty value is not written at all (see envd_store.cpp).
#if (!defined(_WIN32) && !defined(KENV_WIN_SIM)) || defined(KENV_ENVD_SYNTAX)

#include "posix/posix.h"

#include <algorithm>

namespace {

// The byte classes the parser tests, one bit each, looked up in a table once per byte.
enum byte_class : unsigned char {
  newline_chars = 1,       // \n \r
  blank_chars = 2,         // space, tab, \n, \r
  comment_chars = 4,       // # ;
  unescaped_in_quotes = 8, // " \ ` $
  equals_sign = 16,
  backslash = 32,
  single_quote_mark = 64,
  double_quote_mark = 128,
};

struct byte_class_table {
  unsigned char bits[256] = {};
  constexpr void mark(std::string_view bytes, unsigned char bit) {
    for (char c : bytes)
      bits[static_cast<unsigned char>(c)] |= bit;
  }
  constexpr byte_class_table() {
    mark("\n\r", newline_chars);
    mark(" \t\n\r", blank_chars);
    mark("#;", comment_chars);
    mark("\"\\`$", unescaped_in_quotes);
    mark("=", equals_sign);
    mark("\\", backslash);
    mark("'", single_quote_mark);
    mark("\"", double_quote_mark);
  }
};

constexpr byte_class_table byte_classes;
constexpr std::size_t none = std::string::npos;

bool one_of(unsigned classes, char c) {
  return (byte_classes.bits[static_cast<unsigned char>(c)] & classes) != 0;
}

// The parser's working state. The step functions below are the states of systemd's
// machine, one function each where a state does more than one thing.
struct parser {
  envd_sink &sink;
  envd_state state = envd_state::pre_key;
  std::string key{};
  std::string value{};
  bool has_value = false;
  std::size_t key_blank = none;   // where the trailing blanks of the name begin
  std::size_t value_blank = none; // where the trailing blanks of an unquoted tail begin
  std::size_t line_begin = 0;     // start of the line the parser is on (in pre_key)
  std::size_t entry_begin = 0;
};

void add(parser &p, char c) {
  p.value.push_back(c);
  p.has_value = true;
}

void push(parser &p, std::size_t end, bool chomp) {
  if (chomp && p.value_blank != none)
    p.value.resize(p.value_blank);
  if (p.key_blank != none)
    p.key.resize(p.key_blank);
  envd_entry entry{std::move(p.key), std::move(p.value), p.has_value, p.entry_begin, end};
  p.sink.take(entry);
  p.key.clear();
  p.value.clear();
  p.has_value = false;
  p.line_begin = end;
}

void pre_key(parser &p, char c, std::size_t pos) {
  if (one_of(comment_chars, c)) {
    p.state = envd_state::comment;
  } else if (one_of(newline_chars, c)) {
    p.line_begin = pos + 1;
  } else if (!one_of(blank_chars, c)) {
    p.state = envd_state::key;
    p.key_blank = none;
    p.entry_begin = p.line_begin;
    p.key.push_back(c);
  }
}

void in_key(parser &p, char c, std::size_t pos) {
  if (one_of(newline_chars, c)) {
    p.state = envd_state::pre_key;
    p.key.clear();
    p.line_begin = pos + 1;
  } else if (c == '=') {
    p.state = envd_state::pre_value;
    p.value_blank = none;
  } else {
    if (!one_of(blank_chars, c))
      p.key_blank = none;
    else if (p.key_blank == none)
      p.key_blank = p.key.size();
    p.key.push_back(c);
  }
}

void pre_value(parser &p, char c, std::size_t pos) {
  if (one_of(newline_chars, c)) {
    p.state = envd_state::pre_key;
    push(p, pos + 1, false);
  } else if (c == '\'') {
    p.state = envd_state::single_quote;
  } else if (c == '"') {
    p.state = envd_state::double_quote;
  } else if (c == '\\') {
    p.state = envd_state::value_escape;
  } else if (!one_of(blank_chars, c)) {
    p.state = envd_state::value;
    add(p, c);
  }
}

void in_value(parser &p, char c, std::size_t pos) {
  if (one_of(newline_chars, c)) {
    p.state = envd_state::pre_key;
    push(p, pos + 1, true);
  } else if (c == '\\') {
    p.state = envd_state::value_escape;
    p.value_blank = none;
  } else {
    if (!one_of(blank_chars, c))
      p.value_blank = none;
    else if (p.value_blank == none)
      p.value_blank = p.value.size();
    add(p, c);
  }
}

void in_double_quote(parser &p, char c) {
  if (c == '"')
    p.state = envd_state::pre_value;
  else if (c == '\\')
    p.state = envd_state::double_quote_escape;
  else
    add(p, c);
}

void in_double_quote_escape(parser &p, char c) {
  p.state = envd_state::double_quote;
  if (one_of(unescaped_in_quotes, c)) {
    add(p, c);
  } else if (c != '\n') {
    add(p, '\\');
    add(p, c);
  }
}

void in_comment(parser &p, char c, std::size_t pos) {
  if (c == '\\') {
    p.state = envd_state::comment_escape;
  } else if (one_of(newline_chars, c)) {
    p.state = envd_state::pre_key;
    p.line_begin = pos + 1;
  }
}

void step(parser &p, char c, std::size_t pos) {
  switch (p.state) {
  case envd_state::pre_key:
    return pre_key(p, c, pos);
  case envd_state::key:
    return in_key(p, c, pos);
  case envd_state::pre_value:
    return pre_value(p, c, pos);
  case envd_state::value:
    return in_value(p, c, pos);
  case envd_state::value_escape:
    p.state = envd_state::value;
    if (!one_of(newline_chars, c))
      add(p, c);
    return;
  case envd_state::single_quote:
    if (c == '\'')
      p.state = envd_state::pre_value;
    else
      add(p, c);
    return;
  case envd_state::double_quote:
    return in_double_quote(p, c);
  case envd_state::double_quote_escape:
    return in_double_quote_escape(p, c);
  case envd_state::comment:
    return in_comment(p, c, pos);
  case envd_state::comment_escape:
    p.state = envd_state::comment;
    return;
  }
}

// The bytes a state takes one after the other without leaving it: a name or an unquoted
// value up to a blank, quoted text up to its quote or a backslash, a comment up to its end.
unsigned run_stops(envd_state s) {
  switch (s) {
  case envd_state::key:
    return newline_chars | blank_chars | equals_sign;
  case envd_state::value:
    return newline_chars | blank_chars | backslash;
  case envd_state::single_quote:
    return single_quote_mark;
  case envd_state::double_quote:
    return double_quote_mark | backslash;
  case envd_state::comment:
    return newline_chars | backslash;
  default:
    return 0;
  }
}

// Takes such a run at once, exactly as step would take its bytes one by one; returns its
// length (0 where the state takes no run).
std::size_t take_run(parser &p, std::string_view text, std::size_t pos) {
  unsigned stops = run_stops(p.state);
  if (stops == 0)
    return 0;
  std::size_t end = pos;
  while (end < text.size() && !one_of(stops, text[end]))
    ++end;
  std::string_view run = text.substr(pos, end - pos);
  if (run.empty() || p.state == envd_state::comment)
    return run.size();
  if (p.state == envd_state::key) {
    p.key.append(run);
    p.key_blank = none;
    return run.size();
  }
  if (p.state == envd_state::value)
    p.value_blank = none;
  p.value.append(run);
  p.has_value = true;
  return run.size();
}

bool ends_in_value(envd_state s) {
  return s != envd_state::pre_key && s != envd_state::key && s != envd_state::comment &&
         s != envd_state::comment_escape;
}

bool name_start(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool name_char(char c) {
  return name_start(c) || (c >= '0' && c <= '9');
}

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

// True when the value can stand unquoted (see the top of this file).
bool plain_value(std::string_view value) {
  constexpr std::string_view plain_punctuation = "_-./:,+=@%^~{}$";
  for (char c : value)
    if (!name_char(c) && static_cast<unsigned char>(c) < 0x80 &&
        plain_punctuation.find(c) == std::string_view::npos)
      return false;
  return true;
}

void append_value(std::string &line, std::string_view value) {
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

envd_state envd_parse(std::string_view text, envd_sink &sink) {
  if (text.find('\0') != std::string_view::npos)
    return envd_state::pre_key;
  parser p{sink};
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t run = take_run(p, text, pos);
    if (run == 0)
      step(p, text[pos], pos);
    pos += run == 0 ? 1 : run;
  }
  if (ends_in_value(p.state))
    push(p, text.size(), p.state == envd_state::value);
  return p.state;
}

void envd_parse(std::string_view text, envd_text &out) {
  struct collect final : envd_sink {
    explicit collect(envd_text &t) : text(t) {}
    envd_text &text;
    void take(envd_entry &entry) override { text.entries.push_back(std::move(entry)); }
  } sink(out);
  out.entries.clear();
  out.entries.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  out.end_state = envd_parse(text, sink);
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
  bool quoted = !plain_value(value);
  line.append(quoted ? "=\"" : "=");
  if (is_path)
    line.append("${PATH}:");
  append_value(line, value);
  line.append(quoted ? "\"\n" : "\n");
  return line;
}

std::string envd_own_value(std::string_view value, bool is_path) {
  constexpr std::string_view prefix = "${PATH}:";
  if (is_path && value.substr(0, prefix.size()) == prefix)
    value.remove_prefix(prefix.size());
  if (value.find('$') == std::string_view::npos)
    return std::string(value);
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
