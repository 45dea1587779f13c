// The sandbox of the Windows tests: the throw-away home of every test, APPDATA pointing into
// it, and a fresh simulated registry. Every test must leave no registry key or lock file
// open behind it, whichever way the code under test returned.
#pragma once

#include "support/sandbox.h"
#include "text.h"
#include "winsim.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>

class WinSandbox : public Sandbox {
protected:
  void SetUp() override {
    Sandbox::SetUp();
    for (auto &[name, saved] : saved_) {
      const char *old = std::getenv(name);
      saved = old ? std::optional<std::string>(old) : std::nullopt;
    }
    std::filesystem::create_directories(appdata());
    std::filesystem::create_directories(programdata());
    setenv("APPDATA", appdata().c_str(), 1);
    setenv("ProgramData", programdata().c_str(), 1);
    winsim_reset();
  }

  void TearDown() override {
    EXPECT_EQ(winsim_open_handles(), 0) << "a registry key was left open";
    EXPECT_EQ(winsim_open_files(), 0) << "a lock file was left open";
    for (const auto &[name, saved] : saved_) {
      if (saved)
        setenv(name, saved->c_str(), 1);
      else
        unsetenv(name);
    }
    Sandbox::TearDown();
  }

  std::string appdata() const { return root() + "/appdata"; }
  // "%APPDATA%\Pellomar": on Linux one directory whose name holds the backslash, beside
  // the APPDATA directory; the library's files lie inside it.
  std::string win_data_dir() const { return appdata() + "\\Pellomar"; }
  // "%ProgramData%\Pellomar", the system scope's folder, the same way.
  std::string programdata() const { return root() + "/programdata"; }
  std::string win_system_dir() const { return programdata() + "\\Pellomar"; }

  // What another program does with the wide calls, as regedit and the Control Panel do:
  // writes a string value of the user's key, given in UTF-8, and reads one back in UTF-8
  // (with the NUL it was stored with). "(absent)" when the key does not hold it.
  static void put_wide(const std::string &name, DWORD type, const std::string &utf8) {
    std::u16string n = winsim_text::from_utf8(name), data = winsim_text::from_utf8(utf8);
    data.push_back(0);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Environment", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, n.c_str(), 0, type, reinterpret_cast<const BYTE *>(data.data()),
                             static_cast<DWORD>(data.size() * sizeof(WCHAR))),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static std::string query_wide(const std::string &name) {
    std::u16string n = winsim_text::from_utf8(name);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Environment", 0, KEY_READ, &key) != ERROR_SUCCESS)
      return "(no key)";
    std::u16string data(4096, u'\0');
    DWORD size = static_cast<DWORD>(data.size() * sizeof(WCHAR));
    LONG rc =
        RegQueryValueExW(key, n.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(data.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
      return "(absent)";
    data.resize(size / sizeof(WCHAR));
    return winsim_text::to_utf8(data);
  }

private:
  std::pair<const char *, std::optional<std::string>> saved_[2] = {{"APPDATA", {}}, {"ProgramData", {}}};
};
