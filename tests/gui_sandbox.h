// A throw-away home for kenv-gui's tests: HOME, the XDG directories and the build-time
// system directory point into fresh temporary folders while the sandbox lives, so no test
// touches the real home directory or /etc.
#pragma once

#include "support/scratch.h"

#include <QTemporaryDir>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class GuiSandbox {
public:
  GuiSandbox();
  ~GuiSandbox();
  GuiSandbox(const GuiSandbox &) = delete;
  GuiSandbox &operator=(const GuiSandbox &) = delete;

  std::string root() const { return dir_.path().toStdString(); }
  std::string home() const { return root() + "/home"; }
  std::string user_envd() const { return home() + "/.config/environment.d"; }
  static std::string system_envd() { return KENV_SYSCONFDIR "/environment.d"; }
  // Replaces the file with the text, creating missing parent directories.
  static void write(const std::string &path, const std::string &text);

private:
  QTemporaryDir dir_;
  scratch::env_overrides env_;
  void set_env(const char *name, const std::optional<std::string> &value);
};
