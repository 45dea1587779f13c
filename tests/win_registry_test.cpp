// The registry checks over the simulator. The same checks run against wine's registry in
// win_wine_test, so together they show the simulator keeps the promises the backend and the
// other Windows tests rely on.
#include "win_registry_checks.h"
#include "winsim/win_sandbox.h"

#include <gtest/gtest.h>

namespace {

class Registry : public WinSandbox, public ::testing::WithParamInterface<registry_check> {};

} // namespace

void PrintTo(const registry_check &check, std::ostream *os) {
  *os << check.name;
}

TEST_P(Registry, BehavesAsWindowsRegistryDoes) {
  EXPECT_EQ(GetParam().run(), "");
}

INSTANTIATE_TEST_SUITE_P(Simulator, Registry, ::testing::ValuesIn(registry_checks()),
                         [](const ::testing::TestParamInfo<registry_check> &info) {
                           return std::string(info.param.name);
                         });
