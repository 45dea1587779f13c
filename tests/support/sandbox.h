// A throw-away home for every test: HOME, the XDG directories and the build-time system
// directory all point into fresh temporary folders, so no test touches the real home
// directory or /etc, and every test starts from nothing.
#pragma once

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
  // The temporary folder that holds everything of this test.
  const std::string &root() const { return root_; }

private:
  std::string root_;
  // The variables SetUp changed, with their values before it, restored by TearDown.
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
  void set_env(const char *name, const std::optional<std::string> &value);
};
