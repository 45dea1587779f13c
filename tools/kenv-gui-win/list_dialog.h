// A list-like value (PATHEXT, PSModulePath, a tool's search path) edited as a list: one
// item per line in a modal window, split and joined by the front-end library. OK gives the
// value the lines make; nullopt when the user cancels.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

std::optional<std::string> edit_list(HWND owner, const std::wstring &name, const std::string &value,
                                     const std::string &separator, HFONT font, UINT dpi);
