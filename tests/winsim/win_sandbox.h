// The sandbox of the Windows tests: the throw-away home of every test, APPDATA pointing into
// it, and a fresh simulated registry. Every test must leave no registry key or lock file
// open behind it, whichever way the code under test returned.
#pragma once

#include "support/sandbox.h"
#include "winsim.h"

#include <cstdlib>
#include <filesystem>
#include <optional>

class WinSandbox : public Sandbox {
protected:
  void SetUp() override {
    Sandbox::SetUp();
    const char *old = std::getenv("APPDATA");
    saved_appdata_ = old ? std::optional<std::string>(old) : std::nullopt;
    std::filesystem::create_directories(appdata());
    setenv("APPDATA", appdata().c_str(), 1);
    winsim_reset();
  }

  void TearDown() override {
    EXPECT_EQ(winsim_open_handles(), 0) << "a registry key was left open";
    EXPECT_EQ(winsim_open_files(), 0) << "a lock file was left open";
    if (saved_appdata_)
      setenv("APPDATA", saved_appdata_->c_str(), 1);
    else
      unsetenv("APPDATA");
    Sandbox::TearDown();
  }

  std::string appdata() const { return root() + "/appdata"; }
  // "%APPDATA%\Pellomar": on Linux one directory whose name holds the backslash, beside
  // the APPDATA directory; the library's files lie inside it.
  std::string win_data_dir() const { return appdata() + "\\Pellomar"; }

private:
  std::optional<std::string> saved_appdata_;
};
