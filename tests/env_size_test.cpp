// The total size of the variables through the exports: no change takes it above 1 MiB, a
// change that does not grow it always goes, and the listing warns above three quarters.
#include "support/sandbox.h"

#include "kestrune_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

class EnvSize : public Sandbox {
protected:
  std::size_t backups() const {
    std::error_code ec;
    auto it = std::filesystem::directory_iterator(scope_dir("user") + "/backups", ec);
    return ec ? 0 : static_cast<std::size_t>(std::distance(it, std::filesystem::directory_iterator()));
  }
  static bool warns(const char *scope) {
    char *listing = env_list(scope);
    bool found = listing && std::string(listing).find("\"code\":\"env_size\"") != std::string::npos;
    env_free_string(listing);
    return found;
  }
};

// A value of 100 KiB: ten of them (each NAME=value and one byte) stay under 1 MiB, eleven do not.
const std::string big(100 * 1024, 'x');

TEST_F(EnvSize, NoChangeTakesTheTotalAboveOneMebibyteButOneThatDoesNotGrowItGoes) {
  for (int i = 0; i < 10; ++i)
    ASSERT_EQ(env_set("user", ("V" + std::to_string(i)).c_str(), big.c_str()), 1) << env_last_error();
  EXPECT_TRUE(warns("user"));
  // The system scope counts on its own; the user scope counts both.
  ASSERT_EQ(env_set("system", "S", big.c_str()), 1) << env_last_error();
  EXPECT_FALSE(warns("system"));
  const std::string bigger = big + "xx";
  struct Case {
    const char *op, *name, *value;
    int ok;
  } cases[] = {
      {"set", "MORE", "x", 0},          {"set", "V0", big.c_str(), 1}, {"set", "V0", "short", 1},
      {"set", "V0", bigger.c_str(), 0}, {"del", "V1", nullptr, 1},     {"set", "MORE", "x", 1},
  };
  for (const Case &c : cases) {
    std::size_t taken = backups();
    int rc = std::string(c.op) == "set" ? env_set("user", c.name, c.value) : env_del("user", c.name);
    EXPECT_EQ(rc, c.ok) << c.op << " " << c.name << ": " << env_last_error();
    if (!c.ok) {
      EXPECT_NE(std::string(env_last_error()).find("above the limit of 1 MiB"), std::string::npos)
          << env_last_error();
      EXPECT_EQ(backups(), taken);
    }
  }
}

} // namespace
