#include "support/sandbox.h"
#include "platform/env_plat.h"
TEST_F(Sandbox, Placeholder) { EXPECT_EQ(env_plat_path_sep(), ':'); }
