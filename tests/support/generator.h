// systemd's environment.d generator, the peer that tells what a new session gets.
#pragma once

#include <string>

inline constexpr const char *envd_generator =
    "/usr/lib/systemd/user-environment-generators/30-systemd-environment-d-generator";

// One value of the generator's output as the service manager reads it: bare, or in double
// quotes where a backslash before " \ ` $ stands for that byte.
inline std::string generator_unquote(const std::string &text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"')
    return text;
  std::string out;
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] == '\\' && i + 2 < text.size() &&
        std::string("\"\\`$").find(text[i + 1]) != std::string::npos)
      ++i;
    out.push_back(text[i]);
  }
  return out;
}
