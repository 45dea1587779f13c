#include "platform_rules.h"

#include "library.h"
#include "output.h"
#include "posix/posix.h"

#include <algorithm>
#include <cstddef>

namespace {

// What one variable may hold on every platform: NAME=value is passed to programs as one
// string, and the kernel refuses one of 128 KiB or more.
constexpr std::size_t max_env_string = 128 * 1024;

std::string_view trimmed(std::string_view s) {
  while (s.size() > 1 && s.back() == '/')
    s.remove_suffix(1);
  return s;
}

char folded(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

#ifdef _WIN32
// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool well_formed(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    std::size_t len = b < 0x80                ? 1
                      : b >= 0xC2 && b < 0xE0 ? 2
                      : b >= 0xE0 && b < 0xF0 ? 3
                      : b >= 0xF0 && b < 0xF5 ? 4
                                              : 0;
    if (!len || i + len > text.size())
      return false;
    unsigned long cp = len == 1 ? b : b & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
      unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80)
        return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    i += len;
  }
  return true;
}
#endif

} // namespace

bool same_entry(std::string_view a, std::string_view b) {
#ifdef _WIN32
  (void)trimmed;
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return folded(x) == folded(y); });
#else
  (void)folded;
  return trimmed(a) == trimmed(b);
#endif
}

bool has_entry(const std::vector<std::string> &list, std::string_view entry) {
  return std::any_of(list.begin(), list.end(), [&](const std::string &e) { return same_entry(e, entry); });
}

bool writable_utf8(std::string_view text) {
#ifdef _WIN32
  return well_formed(text);
#else
  return envd_utf8_valid(text);
#endif
}

std::optional<std::string> refusal_of(std::string_view name, std::string_view value) {
  if (name.empty())
    return "an empty name";
  if (name.find_first_of("=;") != std::string_view::npos ||
      std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
    return "not a valid variable name";
  if (!writable_utf8(name) || !writable_utf8(value))
    return "not valid UTF-8";
#ifndef _WIN32
  if (!envd_name_valid(name))
    return "not a valid variable name";
  if (int byte = envd_unpassable_byte(value); byte >= 0) {
    static const char hex[] = "0123456789ABCDEF";
    return std::string("value holds control character 0x") + hex[byte >> 4] + hex[byte & 15];
  }
#endif
  if (name.size() + 1 + value.size() + 1 > max_env_string)
    return "NAME=value is 128 KiB or more, which the kernel refuses to pass to any program";
  return std::nullopt;
}

void check_document(const ScopeState &doc) {
#ifdef _WIN32
  const char sep = ';';
#else
  const char sep = ':';
#endif
  for (const StateVar &v : doc.vars)
    if (std::optional<std::string> why = refusal_of(v.name, v.value))
      throw DocumentError("'" + visible(v.name) + "': " + *why);
  if (std::optional<std::string> why = refusal_of("PATH", join_entries(doc.path, sep)))
    throw DocumentError("PATH: " + *why);
}

void refuse_not_utf8(const std::vector<std::string> &names) {
  std::string message;
  for (const std::string &name : names)
    message += (message.empty() ? "" : "; ") + ("variable " + visible(name) +
                                                " holds bytes that are not UTF-8 (written by an older "
                                                "version); unset it or set it again");
  if (!message.empty())
    throw LibraryError(message);
}
