// I/O failures in the middle of a write: a full disk after k bytes, a failing open, fsync,
// close, rename or link. Each of the four files of the write chain (backup, store,
// environment.d file, export file) is made to fail in turn: the operation stops there with
// the file's own message, the failing file keeps its previous content, the steps before it
// stay done, the steps after it are not taken, and no temporary file is left behind.
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
  std::vector<std::string> roots() const { return {root(), system_envd()}; }
  std::string store(const std::string &scope) const { return data_dir() + "/" + scope + "-env.json"; }
  std::string backups() const { return data_dir() + "/backups/"; }
  std::string exported(const std::string &scope) const {
    return data_dir() + "/exports/" + scope + "-env.sh";
  }
  std::string envd(const std::string &scope) const {
    return (scope == "system" ? system_envd() : user_envd()) + "/99-pellomar-" + scope + ".conf";
  }
  // The file (or, for backups, the directory) a step writes.
  std::string target(step s, const std::string &scope) const {
    switch (s) {
    case step::backup:
      return backups();
    case step::store:
      return store(scope);
    case step::envd:
      return envd(scope);
    case step::exported:
      return exported(scope);
    }
    return "";
  }
  std::size_t backup_count() const {
    std::size_t n = 0;
    for (auto &e : fs::directory_iterator(backups()))
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
  std::string expected_message(const Fault &f) {
    const std::string scope = f.scope;
    switch (f.where) {
    case step::backup:
      return "failed to write backup " + backups();
    case step::store:
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
  // Whether the step's file shows the change of env_set(scope, "B", "2").
  bool changed(step s, const std::string &scope, std::size_t backups_before) {
    switch (s) {
    case step::backup:
      return backup_count() == backups_before + 1;
    case step::store:
      return read(store(scope)).find("\"B\"") != std::string::npos;
    case step::envd:
      return read(envd(scope)).find("\nB=2\n") != std::string::npos;
    case step::exported:
      return read(exported(scope)).find("\nexport B='2'\n") != std::string::npos;
    }
    return false;
  }
};

} // namespace

TEST_P(IoFault, StopsTheChainAndKeepsThePreviousFile) {
  const Fault &f = GetParam();
  populate(f.scope.c_str());
  file_map before = snapshot(roots());
  std::size_t backups_before = backup_count();
  int rc;
  {
    io_fault_scope fault({f.which, target(f.where, f.scope), f.budget});
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
  bool reached = true;
  for (step s : chain) {
    if (s == f.where)
      reached = false;
    EXPECT_EQ(changed(s, f.scope, backups_before), reached) << step_name(s);
  }
  if (f.where != step::backup) {
    std::string path = target(f.where, f.scope);
    EXPECT_EQ(read(path), before.at(path)) << "the failed write changed " << path;
  }
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

TEST_F(IoFaults, AUserPathEditOutlivesAFailedEnvironmentFileWrite) {
  populate("user");
  std::string before = read(envd("user"));
  io_fault_scope fault({call::rename, envd("user")});
  // The store and export file carry the new PATH; the message stays for the caller to read.
  EXPECT_EQ(env_path_add("user", "/q", -1), 1);
  EXPECT_EQ(std::string(env_last_error()), "cannot write environment file " + envd("user") + " (5)");
  EXPECT_EQ(read(envd("user")), before);
  std::string exported_text = read(exported("user"));
  EXPECT_NE(exported_text.find("\nexport PATH="), std::string::npos);
  EXPECT_NE(exported_text.find("/p:/q'\n"), std::string::npos);
  expect_no_temporary_files();
}

TEST_F(IoFaults, ADeleteOutlivesAFailedEnvironmentFileWriteWithoutAMessage) {
  populate("user");
  std::string before = read(envd("user"));
  io_fault_scope fault({call::write, envd("user"), 0});
  EXPECT_EQ(env_del("user", "A"), 1);
  EXPECT_STREQ(env_last_error(), "");
  EXPECT_EQ(read(envd("user")), before);
  EXPECT_EQ(read(exported("user")).find("export A="), std::string::npos);
  expect_no_temporary_files();
}

TEST_F(IoFaults, ARestoreStopsAtAFailedEnvironmentFileWrite) {
  populate("user");
  std::string backup = home() + "/restore-me.json";
  write(backup, R"({"scope": "user", "vars": [{"name": "R", "value": "1"}]})");
  std::string envd_before = read(envd("user"));
  std::string export_before = read(exported("user"));
  io_fault_scope fault({call::fsync, envd("user")});
  EXPECT_EQ(env_restore(backup.c_str()), 0);
  EXPECT_EQ(std::string(env_last_error()), "cannot write environment file " + envd("user") + " (5)");
  EXPECT_NE(read(store("user")).find("\"R\""), std::string::npos); // done steps stay done
  EXPECT_EQ(read(envd("user")), envd_before);
  EXPECT_EQ(read(exported("user")), export_before);
  expect_no_temporary_files();
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
  EXPECT_EQ(read(envd("user")), "A=1\nPATH=${PATH}:/r\nR1=1\nR2=2\n");
}

TEST_F(IoFaults, AnUnreadableStoreIsNotReplacedWhenItsCopyCannotBeKept) {
  populate("user");
  write(store("user"), "{\"vars\": [ not json");
  io_fault_scope fault({call::link, store("user") + ".unreadable-"});
  EXPECT_EQ(env_set("user", "B", "2"), 0);
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
