// Changes are whole or not at all, seen as users meet them: kenv run as an unprivileged
// user (setpriv), a store the user cannot read, and changes killed at random moments.
#include "kenv_run.h"

#include "kestrune_env.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

extern char **environ;

namespace {

constexpr uid_t nobody = 65534;

class KenvPipeline : public KenvTest {
protected:
  // kenv as the user nobody, who owns the sandbox but may not write the system directory.
  // kenv and the library are copied into the sandbox: the build tree may lie where nobody
  // cannot look (under /root, say).
  Outcome kenv_as_nobody(const std::vector<std::string> &args) {
    std::string bin = root() + "/bin";
    if (!fs::exists(bin + "/kenv")) {
      fs::create_directories(bin);
      fs::copy_file(KENV_BIN, bin + "/kenv");
      fs::copy_file(KENV_LIBRARY_FILE, bin + "/libkestrune-envvar-editor.so.0");
      for (auto &e : fs::recursive_directory_iterator(bin))
        (void)lchown(e.path().c_str(), nobody, nobody);
      (void)chown(bin.c_str(), nobody, nobody);
    }
    std::vector<std::string> argv{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                  bin + "/kenv"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_process(argv, {{"NO_COLOR", std::nullopt}, {"LD_LIBRARY_PATH", bin}});
  }
  void hand_sandbox_to_nobody() {
    for (auto &e : fs::recursive_directory_iterator(root()))
      (void)lchown(e.path().c_str(), nobody, nobody);
    (void)chown(root().c_str(), nobody, nobody);
  }
  // The backups of both scopes.
  std::size_t backups() {
    std::size_t n = 0;
    for (const std::string &dir : {data_dir() + "/backups", system_data_dir() + "/backups"})
      if (fs::is_directory(dir))
        for ([[maybe_unused]] auto &e : fs::directory_iterator(dir))
          ++n;
    return n;
  }
  // The temporary files left anywhere in the sandbox.
  std::vector<std::string> temporary_files() {
    std::vector<std::string> out;
    for (auto &e : fs::recursive_directory_iterator(root()))
      if (e.path().filename().string().find(".tmp-") != std::string::npos)
        out.push_back(e.path().string());
    return out;
  }
  std::string listing(const char *scope) {
    char *text = env_list(scope);
    std::string out = text ? text : "";
    env_free_string(text);
    return out;
  }
};

} // namespace

// Without the right to write the system directory nothing of the change is kept.
TEST_F(KenvPipeline, SystemChangesAsAnUnprivilegedUserWriteNothing) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to become another user";
  fs::create_directories(system_envd());
  hand_sandbox_to_nobody();
  const std::vector<std::vector<std::string>> changes = {{"set", "--scope", "system", "X", "1"},
                                                         {"path", "add", "--scope", "system", "/opt/x"}};
  for (const auto &args : changes) {
    Outcome r = kenv_as_nobody(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_THAT(r.err, HasSubstr("root required for system scope")) << r.err;
  }
  EXPECT_EQ(backups(), 0u);
  EXPECT_FALSE(fs::exists(system_data_dir() + "/system-env.json"));
  EXPECT_FALSE(fs::exists(system_export()));
  EXPECT_THAT(kenv_as_nobody({"list", "--scope", "system"}).out, ::testing::Not(HasSubstr("X=1")));
}

// A store the user cannot read (left by `sudo -E kenv ...`) is not taken as empty: the
// change stops and names the file and the way back; the listing still works and warns.
TEST_F(KenvPipeline, AStoreTheUserCannotReadStopsChanges) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to become another user";
  ASSERT_EQ(kenv({"set", "KEEP", "me"}).status, 0);
  hand_sandbox_to_nobody();
  std::string store = data_dir() + "/user-env.json";
  ASSERT_EQ(chown(store.c_str(), 0, 0), 0);
  fs::permissions(store, fs::perms::none);
  std::size_t before = backups();
  Outcome r = kenv_as_nobody({"set", "NEW", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kenv: store " + store +
                       " cannot be used (Permission denied): nothing was changed; restore a backup (kenv "
                       "restore --latest)\n");
  EXPECT_EQ(backups(), before);
  Outcome list = kenv_as_nobody({"list"});
  EXPECT_EQ(list.status, 0);
  EXPECT_THAT(list.out, HasSubstr("store cannot be used (Permission denied)"));
  fs::permissions(store, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_THAT(read(store), HasSubstr("KEEP"));
}

// A change killed at any moment leaves nothing that the next change of the scope does not
// mend: afterwards the store, environment.d and the export file agree on every name, and
// no temporary file is left.
TEST_F(KenvPipeline, ChangesKilledAtRandomAreHealedByTheNextOne) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delay_us(0, 6000);
  std::string bin = KENV_BIN;
  for (int trial = 0; trial < 300; ++trial) {
    std::string name = "K" + std::to_string(trial % 7), value = "v" + std::to_string(trial);
    std::vector<std::string> words =
        trial % 3 == 0 ? std::vector<std::string>{bin, "path", "add", "/opt/p" + std::to_string(trial)}
                       : std::vector<std::string>{bin, "set", name, value};
    std::vector<char *> argv;
    for (std::string &w : words)
      argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    usleep(static_cast<useconds_t>(delay_us(random)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_EQ(env_set("user", "LAST", std::to_string(trial).c_str()), 1) << env_last_error();
    std::string list = listing("user");
    ASSERT_EQ(list.find("\"code\":\"native\""), std::string::npos) << "trial " << trial << ": " << list;
    ASSERT_EQ(list.find("\"code\":\"store\""), std::string::npos) << "trial " << trial << ": " << list;
    std::vector<std::string> left = temporary_files();
    ASSERT_TRUE(left.empty()) << "trial " << trial << ": " << left.front();
  }
  // The export file is written from the store by every change: its values are the store's.
  std::string exported = read(user_export());
  EXPECT_THAT(exported, HasSubstr("export LAST='299'\n"));
}
