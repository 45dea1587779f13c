#include "library.h"

#include "kestrune_env.h"

#include <memory>

namespace {

struct TextFree {
  void operator()(char *p) const { env_free_string(p); }
};
using LibText = std::unique_ptr<char, TextFree>;

// The message of the failure that just happened; read before any other call.
[[noreturn]] void fail() {
  std::string message = env_last_error();
  if (message.empty())
    message = "the library reported a failure without a message";
  throw LibraryError(message);
}

void check(int ok) {
  if (!ok)
    fail();
}

// After a success, the message of a problem the call tolerated, or "".
std::string tolerated(int ok) {
  check(ok);
  return env_last_error();
}

std::string take(char *raw) {
  LibText text(raw);
  if (!text)
    fail();
  return std::string(text.get());
}

} // namespace

std::string lib_list(const std::string &scope, std::string *note) {
  std::string text = take(env_list(scope.c_str()));
  if (note)
    *note = env_last_error();
  return text;
}

std::string lib_backups() {
  return take(env_backups());
}

void lib_set(const std::string &scope, const std::string &name, const std::string &value) {
  check(env_set(scope.c_str(), name.c_str(), value.c_str()));
}

void lib_del(const std::string &scope, const std::string &name) {
  check(env_del(scope.c_str(), name.c_str()));
}

std::string lib_path_add(const std::string &scope, const std::string &entry, std::int32_t index) {
  return tolerated(env_path_add(scope.c_str(), entry.c_str(), index));
}

std::string lib_path_del(const std::string &scope, const std::string &entry) {
  return tolerated(env_path_del(scope.c_str(), entry.c_str()));
}

std::string lib_path_move(const std::string &scope, const std::string &entry, std::int32_t index) {
  return tolerated(env_path_move(scope.c_str(), entry.c_str(), index));
}

std::string lib_restore(const std::string &backup_path) {
  return tolerated(env_restore(backup_path.c_str()));
}
