// The front-end library speaks UTF-8, the window UTF-16: every text crosses here, each
// character kept (an unpaired surrogate or a byte that is not UTF-8 becomes U+FFFD).
#pragma once

#include <string>
#include <string_view>

std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);
