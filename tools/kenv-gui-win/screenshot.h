// --screenshot: the window drawn into a bitmap, without the screen (wine's desktop may have
// none), and written as a PNG file when its name ends in ".png", else as a BMP file.
#pragma once

#include <windows.h>

#include <string>

// False when the window could not be drawn or the file not written.
bool save_screenshot(HWND window, const std::wstring &file);
