// The simulator's own conversions between the texts the Windows API takes: UTF-8 (what the
// tests write and read), UTF-16 (what the registry holds) and the ANSI code page of the
// process, which here is Windows-1252 as on a Western European or American Windows. Written
// apart from the backend's conversions so that a fault there cannot hide behind the same
// fault here.
#pragma once

#include <string>
#include <string_view>

namespace winsim_text {

// A byte that starts no valid sequence becomes U+FFFD.
std::u16string from_utf8(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
std::string to_utf8(std::u16string_view wide);

// Every byte maps to one character, as MultiByteToWideChar maps Windows-1252.
std::u16string from_ansi(std::string_view ansi);
// A character the code page lacks becomes '?', as WideCharToMultiByte makes it.
std::string to_ansi(std::u16string_view wide);

// Registry data of a string type is UTF-16 in little-endian byte order.
std::string to_bytes(std::u16string_view wide);
std::u16string from_bytes(std::string_view bytes);

std::u16string of(const char16_t *text); // "" for nullptr

} // namespace winsim_text
