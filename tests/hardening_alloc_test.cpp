// Allocation failure everywhere: each exported operation is run once for every allocation
// it makes, with that allocation failing (and, in a second pass, every allocation after it
// too). Every run must either succeed with exactly the result of an undisturbed run, or
// fail with "out of memory"; it must release every block it took; and each file (store,
// backups, environment.d file, export file) must be either as before or fully written.
#include "hardening_alloc.h"
#include "hardening_files.h"
#include "support/sandbox.h"

#include "core/file_ops.h"
#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>

namespace {

// What an operation gave back: its flag, or its text (null text: failure).
struct outcome {
  bool ok = false;
  std::string text;
};

struct Operation {
  const char *name;
  // The backup to restore is passed in, so that building its path allocates nothing here.
  std::function<int(const char *backup, char **text)> run;
};

int listing(const char *scope, char **text) {
  *text = env_list(scope);
  return *text != nullptr;
}

const Operation operations[] = {
    {"set_new", [](const char *, char **) { return env_set("user", "NEW", "v $A"); }},
    {"set_existing", [](const char *, char **) { return env_set("user", "a", "2"); }},
    {"set_system", [](const char *, char **) { return env_set("system", "S", "2"); }},
    {"del", [](const char *, char **) { return env_del("user", "B"); }},
    {"path_add", [](const char *, char **) { return env_path_add("user", "/r", 1); }},
    {"path_add_system", [](const char *, char **) { return env_path_add("system", "/t", 0); }},
    {"path_del", [](const char *, char **) { return env_path_del("user", "/p"); }},
    {"path_move", [](const char *, char **) { return env_path_move("user", "/q/", 0); }},
    {"restore", [](const char *backup, char **) { return env_restore(backup); }},
    {"list_user", [](const char *, char **text) { return listing("user", text); }},
    {"list_system", [](const char *, char **text) { return listing("system", text); }},
    {"backups", [](const char *, char **text) { return (*text = env_backups()) != nullptr; }},
};

struct Mode {
  const Operation *op;
  bool persist;
};

class AllocFailure : public Sandbox, public ::testing::WithParamInterface<Mode> {
protected:
  void SetUp() override {
    Sandbox::SetUp();
    // Flushing to disk is not under test here, and the loop writes thousands of files.
    env_file_sys.fsync = [](int) { return 0; };
    populate();
  }
  void TearDown() override {
    env_file_sys = env_file_ops_default;
    Sandbox::TearDown();
  }
  std::vector<std::string> roots() const { return {root(), KENV_SYSCONFDIR, system_data_dir()}; }

  void populate() {
    write(user_envd() + "/10-other.conf", "OTHER=o\nA=native\n");
    write(home() + "/.profile", "export PATH=\"$HOME/bin:$PATH\"\n");
    write(home() + "/restore-me.json", R"({"scope": "user", "vars": [{"name": "R", "value": "1"},
        {"name": "PATH", "value": "/r1:/r2"}]})");
    ASSERT_EQ(env_set("user", "A", "1"), 1) << env_last_error();
    ASSERT_EQ(env_set("user", "B", "$A/x:%OTHER%"), 1) << env_last_error();
    ASSERT_EQ(env_path_add("user", "/p", 0), 1) << env_last_error();
    ASSERT_EQ(env_path_add("user", "/q", 1), 1) << env_last_error();
    ASSERT_EQ(env_set("system", "S", "1"), 1) << env_last_error();
    ASSERT_EQ(env_path_add("system", "/s", 0), 1) << env_last_error();
  }

  // The files with their time stamps taken out, and a backup that was not there before
  // under one fixed name: the names count backups and carry the time. The backup index is
  // derived from the backups (and names their serial numbers), so it is left out, and so is
  // the change journal, which an interrupted change leaves for the next change to finish.
  file_map comparable(const file_map &files, const file_map &before) const {
    file_map out;
    for (const auto &[path, text] : files) {
      if (path.ends_with("/.backup-index") || path.ends_with("/.change-journal"))
        continue;
      std::size_t backups = path.find("/backups/");
      bool new_backup = backups != std::string::npos && !before.count(path);
      out[new_backup ? path.substr(0, backups) + "/backups/<new>" : path] = without_times(text);
    }
    return out;
  }

  // Runs the operation with the nth allocation failing; counts the attempts and checks
  // that every block and descriptor taken was released.
  outcome run(const Operation &op, long nth, bool persist, long &attempts) {
    char *text = nullptr;
    const std::string backup = home() + "/restore-me.json";
    const int descriptors = open_descriptors();
    long live = alloc_fault::live_blocks();
    int rc;
    {
      alloc_fault::armed armed(nth, persist);
      rc = op.run(backup.c_str(), &text);
      attempts = alloc_fault::disarm();
    }
    long taken = alloc_fault::live_blocks() - live - (text ? 1 : 0);
    outcome out{rc == 1, text ? text : ""};
    env_free_string(text);
    EXPECT_EQ(taken, 0) << "blocks leaked with allocation " << nth << " failing";
    EXPECT_EQ(open_descriptors(), descriptors) << "descriptors leaked with allocation " << nth << " failing";
    return out;
  }
};

// Checks a failed run: "out of memory", and every file as before or as written in full.
void expect_clean_failure(const file_map &before, const file_map &after, const file_map &done, long nth) {
  EXPECT_STREQ(env_last_error(), "out of memory") << "allocation " << nth;
  std::set<std::string> paths;
  for (const file_map *m : {&before, &after, &done})
    for (const auto &entry : *m)
      paths.insert(entry.first);
  for (const std::string &path : paths) {
    auto now = after.find(path), old = before.find(path), full = done.find(path);
    bool as_before =
        now == after.end() ? old == before.end() : old != before.end() && now->second == old->second;
    bool as_done =
        now == after.end() ? full == done.end() : full != done.end() && now->second == full->second;
    EXPECT_TRUE(as_before || as_done) << path << " is half written with allocation " << nth << " failing";
  }
}

} // namespace

TEST_P(AllocFailure, EveryAllocationFailsCleanly) {
  const Operation &op = *GetParam().op;
  const bool persist = GetParam().persist;
  const file_map baseline = snapshot(roots());
  const file_map before = comparable(baseline, baseline);
  long attempts = 0;
  outcome reference = run(op, 0, false, attempts);
  ASSERT_TRUE(reference.ok) << env_last_error();
  const file_map done = comparable(snapshot(roots()), baseline);
  const long reached = attempts;
  ASSERT_GT(reached, 0);
  long failures = 0;
  for (long nth = 1; nth <= reached; ++nth) {
    restore_snapshot(roots(), baseline);
    outcome got = run(op, nth, persist, attempts);
    file_map after = comparable(snapshot(roots()), baseline);
    EXPECT_TRUE(temporary_files(roots()).empty()) << "allocation " << nth;
    if (got.ok) {
      EXPECT_EQ(got.text, reference.text) << "allocation " << nth;
      EXPECT_TRUE(after == done) << "allocation " << nth
                                 << " failed, and the operation succeeded differently";
    } else {
      ++failures;
      expect_clean_failure(before, after, done, nth);
    }
    if (HasFailure())
      break;
  }
  std::printf("[ figures  ] %s%s: %ld allocations; %ld runs failed with \"out of memory\", the rest "
              "succeeded as undisturbed\n",
              op.name, persist ? " (persistent)" : "", reached, failures);
}

namespace {

std::vector<Mode> every_mode() {
  std::vector<Mode> out;
  for (bool persist : {false, true})
    for (const Operation &op : operations)
      out.push_back({&op, persist});
  return out;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(EveryOperation, AllocFailure, ::testing::ValuesIn(every_mode()),
                         [](const ::testing::TestParamInfo<Mode> &info) {
                           return std::string(info.param.op->name) +
                                  (info.param.persist ? "_from_then_on" : "_once");
                         });
