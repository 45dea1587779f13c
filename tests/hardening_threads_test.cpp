// Eight threads calling every export at once through the shared library. The process-wide
// lock serialises the operations, so each thread must see its own changes exactly as if it
// ran alone. Each thread edits variables and PATH entries of its own in the system scope
// while all of them restore one backup into the user scope and list both scopes and the
// backups. Built with -fsanitize=thread (preset tsan), the test must also be race free.
//
// The last-error text is one buffer for the whole process, read without the lock: a thread
// here only checks that env_last_error answers, and reads the words only once alone.
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int thread_count = 8;
constexpr int rounds = 6;

const char restored[] = R"({"scope": "user", "vars": [{"name": "RESTORED", "value": "yes"}]})";

// Appended rather than "T" + std::to_string(...): a false -Wrestrict of GCC 12 in Release.
std::string var(int t, int r) {
  return std::string("T").append(std::to_string(t)).append("_").append(std::to_string(r));
}
std::string value(int t, int r) {
  return "value " + std::to_string(t) + "." + std::to_string(r);
}
std::string entry(int t, int r) {
  return "/t" + std::to_string(t) + "/" + std::to_string(r);
}

// The listing's text, or "" on failure.
std::string listing(const char *scope) {
  char *p = env_list(scope);
  std::string out = p ? p : "";
  env_free_string(p);
  return out;
}

bool lists_var(const std::string &text, const std::string &name, const std::string &val) {
  return text.find("{\"name\":\"" + name + "\",\"value\":\"" + val + "\"") != std::string::npos;
}

bool lists_entry(const std::string &text, const std::string &e) {
  return text.find("{\"entry\":\"" + e + "\"") != std::string::npos;
}

class Threads : public Sandbox {
protected:
  std::string backup() const { return home() + "/restore-me.json"; }
  // One round of one thread; the number of backups it took.
  int round(int t, int r) {
    std::string n = var(t, r), v = value(t, r), e = entry(t, r);
    EXPECT_EQ(env_set("system", n.c_str(), v.c_str()), 1);
    EXPECT_TRUE(lists_var(listing("system"), n, v)) << n;
    EXPECT_EQ(env_path_add("system", e.c_str(), 0), 1);
    EXPECT_EQ(env_path_move("system", e.c_str(), 1 << 20), 1);
    EXPECT_TRUE(lists_entry(listing("system"), e)) << e;
    char *backups = env_backups();
    EXPECT_NE(backups, nullptr);
    env_free_string(backups);
    EXPECT_EQ(env_restore(backup().c_str()), 1);
    EXPECT_TRUE(lists_var(listing("user"), "RESTORED", "yes"));
    // A refused call takes a backup too: delete looks for the name after the backup.
    EXPECT_EQ(env_del("system", ("NOT_" + n).c_str()), 0);
    EXPECT_NE(env_last_error(), nullptr);
    env_free_string(nullptr);
    int backups_taken = 5; // set, add, move, restore and the refused delete
    if (r % 2 == 1) {
      EXPECT_EQ(env_del("system", n.c_str()), 1);
      EXPECT_EQ(env_path_del("system", e.c_str()), 1);
      std::string after = listing("system");
      EXPECT_FALSE(lists_var(after, n, v)) << n;
      EXPECT_FALSE(lists_entry(after, e)) << e;
      backups_taken += 2;
    }
    return backups_taken;
  }
};

} // namespace

TEST_F(Threads, EveryExportAtOnceStaysCorrect) {
  write(backup(), restored);
  std::atomic<int> backups_taken{0};
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < thread_count; ++t)
    threads.emplace_back([&, t] {
      // Start together, so that the calls really meet at the lock.
      ++ready;
      while (ready.load() < thread_count)
        std::this_thread::yield();
      for (int r = 0; r < rounds; ++r)
        backups_taken += round(t, r);
    });
  for (std::thread &th : threads)
    th.join();

  std::string system = listing("system");
  for (int t = 0; t < thread_count; ++t)
    for (int r = 0; r < rounds; ++r) {
      EXPECT_EQ(lists_var(system, var(t, r), value(t, r)), r % 2 == 0) << var(t, r);
      EXPECT_EQ(lists_entry(system, entry(t, r)), r % 2 == 0) << entry(t, r);
    }
  std::size_t files = 0;
  for (const std::string &dir : {data_dir() + "/backups", system_data_dir() + "/backups"})
    for (auto &e : fs::directory_iterator(dir))
      files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, static_cast<std::size_t>(backups_taken.load()));
  EXPECT_EQ(
      read(data_dir() + "/user-env.json"),
      "{\n    \"vars\": [\n        {\n            \"name\": \"RESTORED\",\n            \"value\": \"yes\"\n"
      "        }\n    ]\n}");
}
