// A list-like value (PATHEXT, PSModulePath, a tool's search path) edited as a list: one
// entry per line in a modal window. OK joins the lines with the separator again.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

std::optional<std::wstring> edit_list(HWND owner, const std::wstring &name, const std::wstring &value,
                                      const std::wstring &separator, HFONT font, UINT dpi);

// The value's entries one per line, and back: the two are inverse for every value whose
// entries hold no line break.
std::wstring entries_as_lines(const std::wstring &value, const std::wstring &separator);
std::wstring lines_as_value(const std::wstring &lines, const std::wstring &separator);
