#include "output.h"

#include "platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string paint(bool on, const char *code, std::string_view text) {
  if (!on)
    return std::string(text);
  return std::string("\x1b[") + code + "m" + std::string(text) + "\x1b[0m";
}

bool continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

void append_hex(std::string &out, unsigned char c) {
  char buf[5];
  std::snprintf(buf, sizeof buf, "\\x%02X", c);
  out.append(buf);
}

// Escapes for the C0 controls and DEL; nullptr for any other byte.
const char *short_escape(unsigned char c) {
  switch (c) {
  case '\n':
    return "\\n";
  case '\t':
    return "\\t";
  case '\r':
    return "\\r";
  case 0x1B:
    return "\\e";
  default:
    return nullptr;
  }
}

} // namespace

std::string Style::bold(std::string_view text) const {
  return paint(colour, "1", text);
}
std::string Style::dim(std::string_view text) const {
  return paint(colour, "2", text);
}
std::string Style::warn(std::string_view text) const {
  return paint(colour, "33", text);
}
std::string Style::bad(std::string_view text) const {
  return paint(colour, "31", text);
}
std::string Style::good(std::string_view text) const {
  return paint(colour, "32", text);
}

Style stdout_style() {
  const char *term = std::getenv("TERM");
  bool dumb = term && std::strcmp(term, "dumb") == 0;
  return Style{colour_terminal(stdout) && !std::getenv("NO_COLOR") && !dumb};
}

std::string visible(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
              static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (const char *esc = short_escape(c)) {
      out.append(esc);
    } else if (c < 0x20 || c == 0x7F) {
      append_hex(out, c);
    } else if (c1) {
      append_hex(out, c);
      append_hex(out, static_cast<unsigned char>(text[++i]));
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::size_t width_of(std::string_view text) {
  std::size_t n = 0;
  for (char c : text)
    n += continuation(static_cast<unsigned char>(c)) ? 0 : 1;
  return n;
}

std::string pad(std::string_view text, std::size_t width) {
  std::string out(text);
  std::size_t w = width_of(text);
  if (w < width)
    out.append(width - w, ' ');
  return out;
}

std::string cut(std::string_view text, std::size_t max) {
  if (max == 0 || width_of(text) <= max)
    return std::string(text);
  std::size_t chars = 0, i = 0;
  for (; i < text.size(); ++i) {
    if (!continuation(static_cast<unsigned char>(text[i])) && chars++ == max - 1)
      break;
  }
  return std::string(text.substr(0, i)) + "\xE2\x80\xA6";
}

std::string sh_quote(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out.append("'\\''");
    else
      out.push_back(c);
  }
  return out + "'";
}

namespace {

std::string with_separator(std::string_view path, char from, char to) {
  std::string out(path);
  std::replace(out.begin(), out.end(), from, to);
  return out;
}

} // namespace

std::string windows_path(std::string_view path) {
  return with_separator(path, '/', '\\');
}

std::string posix_shell_path(std::string_view path) {
  return with_separator(path, '\\', '/');
}

void write_out(std::string_view text) {
  write_stream(stdout, text);
}

void write_err(std::string_view text) {
  write_stream(stderr, text);
}
