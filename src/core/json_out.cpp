// The listing's JSON writer.
#include "core/json_out.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The escape of a byte that JSON does not take as it is, or nullptr.
const char *short_escape(unsigned char c) {
  switch (c) {
  case '"':
    return "\\\"";
  case '\\':
    return "\\\\";
  case '\b':
    return "\\b";
  case '\t':
    return "\\t";
  case '\n':
    return "\\n";
  case '\f':
    return "\\f";
  case '\r':
    return "\\r";
  default:
    return nullptr;
  }
}

struct escape_table {
  bool needed[256] = {};
  constexpr escape_table() {
    for (int c = 0; c < 0x20; ++c)
      needed[c] = true;
    needed[static_cast<unsigned char>('"')] = needed[static_cast<unsigned char>('\\')] = true;
  }
};

constexpr escape_table escapes;

bool needs_escape(unsigned char c) {
  return escapes.needed[c];
}

// Whether any of the eight bytes is a control byte, '"' or '\\' (exact, no false answers).
bool word_needs_escape(std::uint64_t w) {
  constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  std::uint64_t quote = w ^ (ones * '"'), backslash = w ^ (ones * '\\');
  std::uint64_t zero = ((quote - ones) & ~quote) | ((backslash - ones) & ~backslash);
  return (((w - ones * 0x20) & ~w) | zero) & highs;
}

// Length of the prefix that needs no escape.
std::size_t plain_prefix(std::string_view text) {
  std::size_t i = 0;
  for (std::uint64_t w; i + 8 <= text.size(); i += 8) {
    std::memcpy(&w, text.data() + i, 8);
    if (word_needs_escape(w))
      break;
  }
  while (i < text.size() && !needs_escape(static_cast<unsigned char>(text[i])))
    ++i;
  return i;
}

// Length of the UTF-8 sequence at the start of `s` (a shortest form, no surrogate, at most
// U+10FFFF), or 0 when it is none.
std::size_t utf8_sequence(std::string_view s) {
  unsigned char c = static_cast<unsigned char>(s[0]);
  std::size_t n = c < 0x80                   ? 1
                  : (c >= 0xC2 && c <= 0xDF) ? 2
                  : (c >= 0xE0 && c <= 0xEF) ? 3
                  : (c >= 0xF0 && c <= 0xF4) ? 4
                                             : 0;
  if (n == 0 || n > s.size())
    return 0;
  unsigned cp = n == 1 ? c : c & (0x7F >> n);
  for (std::size_t i = 1; i < n; ++i) {
    unsigned char t = static_cast<unsigned char>(s[i]);
    if ((t & 0xC0) != 0x80)
      return 0;
    cp = (cp << 6) | (t & 0x3F);
  }
  bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
  return overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF ? 0 : n;
}

// The text with each byte that begins no UTF-8 sequence replaced by U+FFFD.
std::string utf8_repaired(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  while (!text.empty()) {
    std::size_t n = utf8_sequence(text);
    out.append(n ? text.substr(0, n) : std::string_view("\xEF\xBF\xBD"));
    text.remove_prefix(n ? n : 1);
  }
  return out;
}

} // namespace

bool env_json_utf8_valid(std::string_view text) {
  std::size_t i = 0;
  for (std::uint64_t w; i + 8 <= text.size(); i += 8) {
    std::memcpy(&w, text.data() + i, 8);
    if (w & 0x8080808080808080ull)
      break;
  }
  while (i < text.size()) {
    std::size_t n = utf8_sequence(text.substr(i));
    if (n == 0)
      return false;
    i += n;
  }
  return true;
}

env_json_out::env_json_out(std::size_t expected) {
  reserve(expected < 64 ? 64 : expected);
}

void env_json_out::reserve(std::size_t more) {
  if (size_ + more + 1 <= capacity_)
    return;
  std::size_t want = capacity_ * 2 > size_ + more + 1 ? capacity_ * 2 : size_ + more + 1;
  char *grown = static_cast<char *>(std::realloc(buf_.get(), want));
  if (!grown)
    throw std::bad_alloc();
  (void)buf_.release();
  buf_.reset(grown);
  capacity_ = want;
}

void env_json_out::put(char c) {
  reserve(1);
  buf_.get()[size_++] = c;
}

void env_json_out::put(std::string_view bytes) {
  reserve(bytes.size());
  bytes.copy(buf_.get() + size_, bytes.size());
  size_ += bytes.size();
}

void env_json_out::separate() {
  if (!fresh_)
    put(',');
  fresh_ = false;
}

void env_json_out::begin_object() {
  separate();
  put('{');
  fresh_ = true;
}

void env_json_out::end_object() {
  put('}');
  fresh_ = false;
}

void env_json_out::begin_array() {
  separate();
  put('[');
  fresh_ = true;
}

void env_json_out::end_array() {
  put(']');
  fresh_ = false;
}

// Member names are the library's own words, which need no escape.
void env_json_out::key(std::string_view name) {
  separate();
  reserve(name.size() + 3);
  put('"');
  put(name);
  put("\":");
  fresh_ = true;
}

void env_json_out::string(std::string_view text) {
  if (!env_json_utf8_valid(text)) {
    string_valid(utf8_repaired(text));
    return;
  }
  string_valid(text);
}

void env_json_out::string_valid(std::string_view text) {
  separate();
  reserve(text.size() + 2);
  put('"');
  escaped(text);
  put('"');
}

// Copies runs that need no escape at once.
void env_json_out::escaped(std::string_view text) {
  while (!text.empty()) {
    std::size_t plain = plain_prefix(text);
    put(text.substr(0, plain));
    if (plain == text.size())
      return;
    unsigned char c = static_cast<unsigned char>(text[plain]);
    if (const char *esc = short_escape(c)) {
      put(esc);
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04X", c);
      put(code);
    }
    text.remove_prefix(plain + 1);
  }
}

void env_json_out::integer(long long value) {
  separate();
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  (void)ec; // 24 digits hold any long long
  put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void env_json_out::null() {
  separate();
  put("null");
}

char *env_json_out::release() {
  reserve(0);
  buf_.get()[size_] = '\0';
  return buf_.release();
}
