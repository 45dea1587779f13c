// Two processes editing one data directory at once. Every change is a read-modify-write
// cycle of whole files (store, environment.d file, export file), so without the data
// directory's lock one process would write back a store read before the other's change and
// lose it. Afterwards every variable and PATH entry of both must be in every file, and every
// change must have its own backup.
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>
#include <yyjson.h>

#include <filesystem>
#include <memory>
#include <set>
#include <spawn.h>
#include <sys/wait.h>

#ifndef HARDENING_WORKER
#error "the test needs HARDENING_WORKER, the path of hardening_worker"
#endif

extern char **environ;

namespace fs = std::filesystem;

namespace {

// Rounds per process; each round is one env_set and one env_path_add.
constexpr int rounds = 250;
const char *const tags[] = {"ALPHA", "BRAVO"};

struct DocFree {
  void operator()(yyjson_doc *d) const { yyjson_doc_free(d); }
};
using Doc = std::unique_ptr<yyjson_doc, DocFree>;

class TwoProcesses : public Sandbox {
protected:
  // Starts the worker with the sandbox's environment; the pid, or -1.
  static pid_t start(const char *tag) {
    std::string count = std::to_string(rounds);
    char *argv[] = {const_cast<char *>(HARDENING_WORKER), const_cast<char *>(tag), count.data(), nullptr};
    pid_t pid = -1;
    return posix_spawn(&pid, HARDENING_WORKER, nullptr, nullptr, argv, environ) == 0 ? pid : -1;
  }
  static int exit_status(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
      return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  Doc listing() {
    char *p = env_list("user");
    EXPECT_NE(p, nullptr) << env_last_error();
    Doc doc(p ? yyjson_read(p, strlen(p), 0) : nullptr);
    env_free_string(p);
    return doc;
  }
  // The strings under `key` of every object in the listing's array `array`.
  static std::multiset<std::string> strings(yyjson_doc *doc, const char *array, const char *key) {
    std::multiset<std::string> out;
    yyjson_val *arr = yyjson_obj_get(yyjson_doc_get_root(doc), array);
    std::size_t idx, max;
    yyjson_val *elem;
    yyjson_arr_foreach(arr, idx, max, elem) {
      if (const char *s = yyjson_get_str(yyjson_obj_get(elem, key)))
        out.insert(s);
    }
    return out;
  }
  static std::size_t count_files(const std::string &dir) {
    std::size_t n = 0;
    for (auto &e : fs::directory_iterator(dir))
      n += e.is_regular_file() ? 1 : 0;
    return n;
  }
};

std::string name_of(const char *tag, int i) {
  return std::string(tag) + "_" + std::to_string(i);
}
// Appended rather than "/" + std::string(...): GCC 12 takes that for an overlapping memcpy
// in Release builds (a false -Wrestrict).
std::string entry_of(const char *tag, int i) {
  return std::string("/").append(tag).append("/").append(std::to_string(i));
}

// The environment.d file's PATH line is "PATH=${PATH}:a:b:...", so every entry follows a ':'.
bool in_path_line(const std::string &envd, const std::string &entry) {
  std::size_t line = envd.find("PATH=${PATH}:");
  std::size_t end = envd.find('\n', line);
  if (line == std::string::npos || end == std::string::npos)
    return false;
  std::string path = envd.substr(line, end - line) + ":";
  return path.find(":" + entry + ":") != std::string::npos;
}

} // namespace

TEST_F(TwoProcesses, NeitherLosesTheOthersChanges) {
  pid_t first = start(tags[0]);
  pid_t second = start(tags[1]);
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_EQ(exit_status(first), 0);
  EXPECT_EQ(exit_status(second), 0);

  Doc doc = listing();
  ASSERT_TRUE(doc);
  std::multiset<std::string> names = strings(doc.get(), "vars", "name");
  std::multiset<std::string> entries = strings(doc.get(), "path", "entry");
  std::string store = read(data_dir() + "/user-env.json");
  std::string envd = std::string("\n").append(read(user_envd() + "/99-pellomar-user.conf"));
  std::string exported = read(data_dir() + "/exports/user-env.sh");
  std::size_t missing = 0;
  for (const char *tag : tags) {
    for (int i = 0; i < rounds; ++i) {
      std::string name = name_of(tag, i), entry = entry_of(tag, i);
      std::string value = std::string("value ").append(std::to_string(i));
      bool complete = names.count(name) == 1 && entries.count(entry) == 1 &&
                      store.find("\"" + name + "\"") != std::string::npos &&
                      envd.find("\n" + name + "=\"" + value + "\"\n") != std::string::npos &&
                      exported.find("export " + name + "='" + value + "'\n") != std::string::npos &&
                      in_path_line(envd, entry);
      EXPECT_TRUE(complete) << name << " or " << entry << " is missing somewhere";
      missing += complete ? 0 : 1;
      if (missing > 5)
        return;
    }
  }
  EXPECT_EQ(names.size(), 2u * rounds + 1); // and PATH
  EXPECT_EQ(entries.size(), 2u * rounds);
  // Two processes count their backups from the same start; taken names are skipped, never reused.
  EXPECT_EQ(count_files(data_dir() + "/backups"), 2u * 2u * rounds);
}
