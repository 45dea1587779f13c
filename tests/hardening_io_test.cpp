// I/O failures in the middle of a write: a full disk after k bytes, a failing open, fsync,
// close, rename or link. Each of the four files a change writes (backup, store,
// environment.d file, export file) is made to fail in turn: the change fails with the file's
// own message, and the store, environment.d and the export file are byte for byte what they
// were (the backup taken before the failure stays), with no temporary file left behind.
#include "hardening_files.h"
#include "support/sandbox.h"

#include "core/file_ops.h"
#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using call = io_fault::call;

// The steps of the write chain, in the order the chain takes them.
enum class step { backup, store, envd, exported };
constexpr step chain[] = {step::backup, step::store, step::envd, step::exported};

const char *step_name(step s) {
  switch (s) {
  case step::backup:
    return "backup";
  case step::store:
    return "store";
  case step::envd:
    return "envd";
  case step::exported:
    return "export";
  }
  return "?";
}

class IoFaultBase : public Sandbox {
protected:
  std::vector<std::string> roots() const { return {root(), KENV_SYSCONFDIR, system_data_dir()}; }
  std::string store(const std::string &scope) const { return store_path(scope); }
  std::string backups(const std::string &scope) const { return scope_dir(scope) + "/backups/"; }
  std::string exported(const std::string &scope) const { return export_path(scope); }
  std::string envd(const std::string &scope) const {
    return (scope == "system" ? system_envd() : user_envd()) + "/99-pellomar-" + scope + ".conf";
  }
  // The file (or, for backups, the directory) a step writes.
  std::string target(step s, const std::string &scope) const {
    switch (s) {
    case step::backup:
      return backups(scope);
    case step::store:
      return store(scope);
    case step::envd:
      return envd(scope);
    case step::exported:
      return exported(scope);
    }
    return "";
  }
  std::size_t backup_count(const std::string &scope) const {
    std::size_t n = 0;
    for (auto &e : fs::directory_iterator(backups(scope)))
      n += e.is_regular_file() ? 1 : 0;
    return n;
  }
  // Gives the scope a file for every step, so that each failure has something to lose.
  void populate(const char *scope) {
    ASSERT_EQ(env_set(scope, "A", "1"), 1) << env_last_error();
    ASSERT_EQ(env_path_add(scope, "/p", 0), 1) << env_last_error();
  }
  void expect_no_temporary_files() {
    for (const std::string &path : temporary_files(roots()))
      ADD_FAILURE() << "temporary file left behind: " << path;
  }
};

struct Fault {
  std::string scope;
  step where;
  call which;
  std::size_t budget;
};

std::string describe(const Fault &f) {
  std::string name = f.scope + "_" + step_name(f.where) + "_" + call_name(f.which);
  return f.which == call::write ? name + "_after_" + std::to_string(f.budget) : name;
}

std::vector<Fault> every_fault() {
  std::vector<Fault> out;
  for (const char *scope : {"user", "system"})
    for (step s : chain)
      for (call c : {call::open, call::write, call::fsync, call::close, call::rename, call::link}) {
        // Backups are created with link and never renamed over; the others the reverse.
        if ((c == call::link) != (s == step::backup) && (c == call::link || c == call::rename))
          continue;
        if (c != call::write)
          out.push_back({scope, s, c, 0});
        else
          for (std::size_t budget : {0, 1, 17})
            out.push_back({scope, s, c, budget});
      }
  return out;
}

class IoFault : public IoFaultBase, public ::testing::WithParamInterface<Fault> {
protected:
  // Where the fault strikes: a backup is written as a temporary file in the data directory
  // and then linked into the backups directory.
  std::string fault_target(const Fault &f) const {
    if (f.where == step::backup && f.which != call::link)
      return scope_dir(f.scope) + "/" + f.scope + "-backup.tmp-";
    return target(f.where, f.scope);
  }
  // An open that fails on the store fails its reading, before anything is written.
  static bool fails_the_read(const Fault &f) { return f.where == step::store && f.which == call::open; }
  std::string expected_message(const Fault &f) {
    const std::string scope = f.scope;
    switch (f.where) {
    case step::backup:
      return "failed to write backup " + backups(scope);
    case step::store:
      if (fails_the_read(f))
        return "store " + store(scope) + " cannot be used (Input/output error): nothing was changed; " +
               (scope == "user" ? "restore a backup (kenv restore --latest)" : "fix or move the file");
      return "failed to write store " + store(scope);
    case step::exported:
      return "failed to write export file " + exported(scope);
    case step::envd:
      break;
    }
    int err = f.which == call::write ? ENOSPC : EIO;
    return "cannot write environment file " + envd(scope) + " (" + std::to_string(err) + ")" +
           (scope == "system" ? " \xE2\x80\x94 root required for system scope" : "");
  }
};

} // namespace

TEST_P(IoFault, FailsWholeAndLeavesEveryFileAsItWas) {
  const Fault &f = GetParam();
  populate(f.scope.c_str());
  file_map before = snapshot(roots());
  std::size_t backups_before = backup_count(f.scope);
  int rc;
  {
    io_fault_scope fault({f.which, fault_target(f), f.budget});
    rc = env_set(f.scope.c_str(), "B", "2");
    EXPECT_GT(io_fault_scope::hits(), 0) << "the fault never struck";
  }
  EXPECT_EQ(rc, 0);
  std::string message = env_last_error();
  if (f.where == step::backup) {
    EXPECT_EQ(message.substr(0, expected_message(f).size()), expected_message(f));
    EXPECT_EQ(message.substr(message.size() - 5), ".json") << message;
  } else {
    EXPECT_EQ(message, expected_message(f));
  }
  for (step s : {step::store, step::envd, step::exported}) {
    std::string path = target(s, f.scope);
    EXPECT_EQ(read(path), before.at(path)) << "the failed change left " << path << " changed";
  }
  bool backed_up = f.where != step::backup && !fails_the_read(f);
  EXPECT_EQ(backup_count(f.scope), backups_before + (backed_up ? 1 : 0));
  expect_no_temporary_files();
}

INSTANTIATE_TEST_SUITE_P(EveryFileAndCall, IoFault, ::testing::ValuesIn(every_fault()),
                         [](const ::testing::TestParamInfo<Fault> &info) { return describe(info.param); });

namespace {

class IoFaults : public IoFaultBase {};

// Accepts at most 3 bytes per call and is interrupted before every other call.
long dribbling_write(int fd, const void *data, std::size_t size) {
  static int calls = 0;
  if (++calls % 2 == 0) {
    errno = EINTR;
    return -1;
  }
  return env_file_ops_default.write(fd, data, size < 3 ? size : 3);
}

} // namespace

TEST_F(IoFaults, ShortAndInterruptedWritesStillWriteEverything) {
  populate("user");
  env_file_sys.write = dribbling_write;
  int rc = env_set("user", "B", "a value longer than a few bytes");
  env_file_sys = env_file_ops_default;
  ASSERT_EQ(rc, 1) << env_last_error();
  EXPECT_NE(read(store("user")).find("\"a value longer than a few bytes\""), std::string::npos);
  EXPECT_NE(read(envd("user")).find("\nB=\"a value longer than a few bytes\"\n"), std::string::npos);
  EXPECT_NE(read(exported("user")).find("\nexport B='a value longer than a few bytes'\n"), std::string::npos);
  expect_no_temporary_files();
}

TEST_F(IoFaults, EveryChangingOperationReportsAFailedStoreWrite) {
  populate("user");
  populate("system");
  std::string backup = home() + "/restore-me.json";
  write(backup, R"({"scope": "user", "vars": [{"name": "R", "value": "1"}]})");
  struct op {
    const char *scope;
    std::function<int()> run;
  };
  const op ops[] = {
      {"user", [] { return env_set("user", "B", "2"); }},
      {"user", [] { return env_del("user", "A"); }},
      {"system", [] { return env_del("system", "A"); }},
      {"user", [] { return env_path_add("user", "/q", 0); }},
      {"system", [] { return env_path_add("system", "/q", 0); }},
      {"user", [] { return env_path_del("user", "/p"); }},
      {"system", [] { return env_path_move("system", "/p", 0); }},
      {"user", [&] { return env_restore(backup.c_str()); }},
  };
  for (const op &o : ops) {
    std::string path = store(o.scope);
    std::string before = read(path);
    io_fault_scope fault({call::write, path, 5});
    EXPECT_EQ(o.run(), 0);
    EXPECT_EQ(std::string(env_last_error()), "failed to write store " + path);
    EXPECT_EQ(read(path), before);
  }
  expect_no_temporary_files();
}

// What failed is reported, and nothing of the change is kept: no edit of the user's PATH or
// delete outlives a failed environment.d write.
TEST_F(IoFaults, AChangeFailingAtEnvironmentDIsPutBack) {
  populate("user");
  std::string backup = home() + "/restore-me.json";
  write(backup, R"({"scope": "user", "vars": [{"name": "R", "value": "1"}]})");
  const std::pair<call, std::function<int()>> changes[] = {
      {call::rename, [] { return env_path_add("user", "/q", -1); }},
      {call::write, [] { return env_del("user", "A"); }},
      {call::fsync, [&] { return env_restore(backup.c_str()); }},
  };
  for (const auto &[which, change] : changes) {
    file_map before = snapshot({data_dir(), user_envd()});
    {
      io_fault_scope fault({which, envd("user")});
      EXPECT_EQ(change(), 0);
    }
    int err = which == call::write ? ENOSPC : EIO;
    EXPECT_EQ(std::string(env_last_error()),
              "cannot write environment file " + envd("user") + " (" + std::to_string(err) + ")");
    for (const std::string &path : {store("user"), envd("user"), exported("user")})
      EXPECT_EQ(read(path), before.at(path)) << path;
  }
  expect_no_temporary_files();
}

// The export file fails last: the store and environment.d are put back.
TEST_F(IoFaults, AChangeFailingAtTheExportFileIsPutBack) {
  populate("user");
  file_map before = snapshot({data_dir(), user_envd()});
  {
    io_fault_scope fault({call::rename, exported("user")});
    EXPECT_EQ(env_set("user", "A", "changed"), 0);
  }
  for (const std::string &path : {store("user"), envd("user"), exported("user")})
    EXPECT_EQ(read(path), before.at(path)) << path;
}

namespace {

int g_envd_renames = 0;

// Lets every rename through, failing the second one onto an environment.d file.
int fail_second_envd_rename(const char *from, const char *to) {
  if (std::string_view(to).find("/environment.d/") != std::string_view::npos && ++g_envd_renames == 2)
    return errno = EIO, -1;
  return env_file_ops_default.rename(from, to);
}

} // namespace

TEST_F(IoFaults, ARestoreWritesTheEnvironmentFileInOneGo) {
  // Written one variable at a time, a failure between two writes would leave the file with
  // only some of the restored variables.
  populate("user");
  std::string backup = home() + "/restore-me.json";
  write(backup, R"({"scope": "user", "vars": [{"name": "R1", "value": "1"}, {"name": "R2", "value": "2"},
      {"name": "PATH", "value": "/r"}]})");
  g_envd_renames = 0;
  env_file_sys.rename = fail_second_envd_rename;
  int rc = env_restore(backup.c_str());
  env_file_sys = env_file_ops_default;
  EXPECT_EQ(rc, 1) << env_last_error();
  EXPECT_EQ(g_envd_renames, 1);
  // A, which the backup lacks, is gone from environment.d as from the store, and the
  // assignments follow the restored store's order.
  EXPECT_EQ(read(envd("user")), "R1=1\nR2=2\nPATH=${PATH}:/r\n");
}

TEST_F(IoFaults, AnUnreadableStoreIsNotReplacedWhenItsCopyCannotBeKept) {
  populate("user");
  write(store("user"), "{\"vars\": [ not json");
  std::string backup = home() + "/restore-me.json";
  write(backup, R"({"scope": "user", "vars": [{"name": "R", "value": "1"}]})");
  io_fault_scope fault({call::link, store("user") + ".unreadable-"});
  EXPECT_EQ(env_restore(backup.c_str()), 0);
  EXPECT_EQ(std::string(env_last_error()), "cannot keep a copy of unreadable store " + store("user"));
  EXPECT_EQ(read(store("user")), "{\"vars\": [ not json");
  expect_no_temporary_files();
}

TEST_F(IoFaults, AFailedDirectoryFlushDoesNotFailTheWrite) {
  // After the rename the new file is in place; a directory that cannot be flushed (some file
  // systems refuse fsync on directories) must not turn that into a failure.
  populate("user");
  env_file_sys.fsync = [](int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
      return errno = EINVAL, -1;
    return env_file_ops_default.fsync(fd);
  };
  int rc = env_set("user", "B", "2");
  env_file_sys = env_file_ops_default;
  EXPECT_EQ(rc, 1) << env_last_error();
  EXPECT_NE(read(exported("user")).find("\nexport B='2'\n"), std::string::npos);
}
