// A throw-away home for every test: HOME, the XDG directories and the build-time system
// directories all point into fresh temporary folders, so no test touches the real home
// directory, /etc or /var/lib, and every test starts from nothing.
#pragma once

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class Sandbox : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // The whole file, or "" when it cannot be read.
  static std::string read(const std::string &path);
  // Replaces the file with the text, creating missing parent directories.
  static void write(const std::string &path, const std::string &text);

  std::string home() const { return root_ + "/home"; }
  // Where the library keeps its data; not created by the sandbox.
  std::string data_dir() const { return home() + "/.local/share/pellomar"; }
  std::string user_envd() const { return home() + "/.config/environment.d"; }
  static std::string system_envd();
  // The system scope's own folder (store, backups, lock) and its export file, the drop-in
  // login shells source; neither is created by the sandbox.
  static std::string system_data_dir();
  static std::string system_export();
  // A scope's folder, store and export file ("user" or "system").
  std::string scope_dir(const std::string &scope) const {
    return scope == "system" ? system_data_dir() : data_dir();
  }
  std::string store_path(const std::string &scope) const {
    return scope_dir(scope) + "/" + scope + "-env.json";
  }
  std::string export_path(const std::string &scope) const {
    return scope == "system" ? system_export() : data_dir() + "/exports/user-env.sh";
  }
  // The temporary folder that holds everything of this test.
  const std::string &root() const { return root_; }

private:
  std::string root_;
  scratch::env_overrides env_; // the variables SetUp changed, put back by TearDown
  void set_env(const char *name, const std::optional<std::string> &value);
};
