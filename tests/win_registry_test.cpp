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

// What the simulator does where Windows does it and wine, whose code page follows the
// locale, cannot be relied on to: the ANSI calls see the registry through Windows-1252.
class SimulatedCodePage : public WinSandbox {};

TEST_F(SimulatedCodePage, AnsiCallsReadWhatTheCodePageLacksAsQuestionMarks) {
  put_wide("P", REG_SZ, "C:\\\u65e5\u672c\\bin;caf\u00e9 \u20ac");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Environment", 0, KEY_READ, &key), ERROR_SUCCESS);
  char data[64];
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(key, "P", nullptr, nullptr, reinterpret_cast<BYTE *>(data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(data, size), std::string("C:\\??\\bin;caf\xE9 \x80") + '\0');
  char name[8];
  DWORD name_len = sizeof name;
  put_wide("\u65e5", REG_SZ, "x");
  ASSERT_EQ(RegEnumValueA(key, 1, name, &name_len, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, name_len), "?");
  RegCloseKey(key);
}

TEST_F(SimulatedCodePage, AnsiWritesAreStoredInUtf16) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Environment", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  const char data[] = "caf\xE9 \x80";
  ASSERT_EQ(RegSetValueExA(key, "P", 0, REG_SZ, reinterpret_cast<const BYTE *>(data), sizeof data),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(query_wide("P"), std::string("caf\u00e9 \u20ac") + '\0');
}
