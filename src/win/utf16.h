// UTF-8, the library's encoding, and UTF-16, the registry's and the file system's on
// Windows. Every text crosses between them here, at the backend's boundary: names and values
// on their way into and out of the registry, paths on their way to the wide file calls.
//
// Only for Windows and the simulation build, whose <windows.h> defines WCHAR.
#pragma once

#if defined(_WIN32) && !defined(WIN32_LEAN_AND_MEAN)
#define WIN32_LEAN_AND_MEAN
#endif
#if defined(_WIN32) && !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

using win_wstring = std::basic_string<WCHAR>;
using win_wstring_view = std::basic_string_view<WCHAR>;

// True when the text is UTF-8 that UTF-16 can hold: no overlong forms, no surrogate code
// points (U+D800..U+DFFF), nothing above U+10FFFF, no sequence cut short.
bool win_utf8_valid(std::string_view text);

// The UTF-16 form of a UTF-8 text. Callers check win_utf8_valid first where the text comes
// from outside; a byte that starts no valid sequence becomes U+FFFD here.
win_wstring win_to_wide(std::string_view utf8);

// The UTF-8 form of UTF-16 text, which the registry does not check: a lone surrogate becomes
// U+FFFD.
std::string win_to_utf8(win_wstring_view wide);
