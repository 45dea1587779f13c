// UTF-8 <-> UTF-16 for the Windows backend. Written out rather than left to
// MultiByteToWideChar so that the simulation build runs the same code on Linux.
#if defined(_WIN32) || defined(KENV_WIN_SIM)

#include "win/utf16.h"

namespace {

constexpr char32_t replacement = 0xFFFD;

bool continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Reads the sequence at `at` into `cp` and its length into `len`. False, with `len` 1, when
// the bytes there are not a valid UTF-8 sequence of a code point UTF-16 can hold.
bool decode(std::string_view s, std::size_t at, char32_t &cp, std::size_t &len) {
  unsigned char b = static_cast<unsigned char>(s[at]);
  len = 1;
  cp = b;
  if (b < 0x80)
    return true;
  std::size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
  if (need == 0 || b > 0xF4 || at + need > s.size())
    return false;
  cp = b & (0x7F >> need);
  for (std::size_t i = 1; i < need; ++i) {
    unsigned char c = static_cast<unsigned char>(s[at + i]);
    if (!continuation(c))
      return false;
    cp = (cp << 6) | (c & 0x3F);
  }
  constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < least[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return false;
  len = need;
  return true;
}

void append_utf8(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool high_surrogate(char32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool low_surrogate(char32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

} // namespace

bool win_utf8_valid(std::string_view text) {
  char32_t cp;
  for (std::size_t i = 0, len = 0; i < text.size(); i += len)
    if (!decode(text, i, cp, len))
      return false;
  return true;
}

win_wstring win_to_wide(std::string_view utf8) {
  win_wstring out;
  out.reserve(utf8.size());
  for (std::size_t i = 0, len = 0; i < utf8.size(); i += len) {
    char32_t cp;
    if (!decode(utf8, i, cp, len))
      cp = replacement;
    if (cp < 0x10000) {
      out.push_back(static_cast<WCHAR>(cp));
    } else {
      out.push_back(static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

std::string win_to_utf8(win_wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t u = static_cast<char16_t>(wide[i]);
    if (high_surrogate(u) && i + 1 < wide.size() && low_surrogate(static_cast<char16_t>(wide[i + 1])))
      u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00);
    else if (high_surrogate(u) || low_surrogate(u))
      u = replacement;
    append_utf8(out, u);
  }
  return out;
}

#endif
