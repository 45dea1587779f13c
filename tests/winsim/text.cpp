#include "text.h"

namespace winsim_text {

namespace {

// Windows-1252 from 0x80 to 0x9F; every other byte is the Unicode character of its value.
// The five bytes the code page leaves undefined map to the C1 control of the same value.
constexpr char16_t cp1252_high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t ansi_char(unsigned char b) {
  return b >= 0x80 && b <= 0x9F ? cp1252_high[b - 0x80] : char16_t{b};
}

void push_code_point(std::u16string &out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
    return;
  }
  cp -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
}

} // namespace

std::u16string from_utf8(std::string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < s.size();
    for (int k = 1; ok && k <= extra; ++k) {
      unsigned char c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    ok = ok && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    push_code_point(out, ok ? cp : 0xFFFD);
    i += ok ? static_cast<std::size_t>(extra) + 1 : 1;
  }
  return out;
}

std::string to_utf8(std::u16string_view w) {
  std::string out;
  for (std::size_t i = 0; i < w.size(); ++i) {
    char32_t cp = w[i];
    bool high = cp >= 0xD800 && cp <= 0xDBFF, low = cp >= 0xDC00 && cp <= 0xDFFF;
    if (high && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (w[++i] - 0xDC00);
    else if (high || low)
      cp = 0xFFFD;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::u16string from_ansi(std::string_view ansi) {
  std::u16string out;
  for (char c : ansi)
    out.push_back(ansi_char(static_cast<unsigned char>(c)));
  return out;
}

std::string to_ansi(std::u16string_view w) {
  std::string out;
  for (std::size_t i = 0; i < w.size(); ++i) {
    char16_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF)
      ++i; // one character, one '?'
    int byte = '?';
    for (int b = 0; b < 256; ++b)
      if (ansi_char(static_cast<unsigned char>(b)) == c)
        byte = b;
    out.push_back(static_cast<char>(byte));
  }
  return out;
}

std::string to_bytes(std::u16string_view w) {
  std::string out;
  for (char16_t c : w) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::u16string from_bytes(std::string_view bytes) {
  std::u16string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return out;
}

std::u16string of(const char16_t *text) {
  return text ? std::u16string(text) : std::u16string();
}

} // namespace winsim_text
