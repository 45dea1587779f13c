// The merged view and value expansion.
#include "support/sandbox.h"

#include "core/views.h"

#include <gtest/gtest.h>

namespace {

std::string expand(const char *value, const env_kv_list &vars) {
  return expand_value(value, vars, env_kv_index(vars));
}

env_kv_list vars_of(std::initializer_list<std::pair<const char *, const char *>> pairs) {
  env_kv_list vars;
  for (auto &[n, v] : pairs)
    env_kv_push(vars, n, v, "overlay");
  return vars;
}

class Merged : public Sandbox {};

} // namespace

TEST(Expand, ResolvesTheThreeFormsIgnoringCase) {
  env_kv_list vars = vars_of({{"A", "x"}, {"a", "second"}, {"B", "%C%"}, {"C", "y"}});
  for (const char *in : {"%A%", "%a%", "$A", "${A}", "$a"})
    EXPECT_EQ(expand(in, vars), "x") << in;
  EXPECT_EQ(expand("%B%", vars), "%C%");
  EXPECT_EQ(expand("[$A_$A]", vars), "[x]");
  EXPECT_EQ(expand(nullptr, vars), "");
  EXPECT_EQ(expand("$A", {}), "");
}

TEST(Expand, DropsUnknownReferencesAndCopiesMalformedOnes) {
  env_kv_list vars = vars_of({{"A", "x"}});
  EXPECT_EQ(expand("%NOPE%", vars), "");
  EXPECT_EQ(expand("50% of 70%", vars), "50");
  EXPECT_EQ(expand("100%", vars), "100%");
  EXPECT_EQ(expand("%%", vars), "%%");
  EXPECT_EQ(expand("%%A%", vars), "%x");
  EXPECT_EQ(expand("$1 a$ ${A", vars), "$1 a$ ${A");
  EXPECT_EQ(expand("${}", vars), "");
  EXPECT_EQ(expand("$", vars), "$");
}

TEST(Expand, NamesAreAtMost255Bytes) {
  std::string n255(255, 'N'), n256(256, 'N');
  env_kv_list vars;
  env_kv_push(vars, n255.c_str(), "v", "overlay");
  env_kv_push(vars, n256.c_str(), "w", "overlay");
  EXPECT_EQ(expand(("%" + n255 + "%").c_str(), vars), "v");
  EXPECT_EQ(expand(("%" + n256 + "%").c_str(), vars), "%" + n256 + "%");
  EXPECT_EQ(expand(("${" + n256 + "}").c_str(), vars), "${" + n256 + "}");
  EXPECT_EQ(expand(("$" + n256).c_str(), vars), "$" + n256);
}

TEST_F(Merged, StoreOverlaysNativeInPlaceUnderTheNativeName) {
  write(user_envd() + "/10-a.conf", "Path=/native\nONLY=n\n");
  write(
      data_dir() + "/user-env.json",
      R"({"vars":[{"name":"NEW","value":"1"},{"name":"PATH","value":"/store"},{"name":"new","value":"2"}]})");
  env_kv_list merged;
  env_kv_index index;
  merge_report report;
  EXPECT_EQ(collect_merged(env_scope::user, data_dir() + "/user-env.json", merged, index, report), 0);
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_EQ(merged[0].name, "Path");
  EXPECT_EQ(merged[0].value, "/store");
  EXPECT_EQ(merged[0].source, "overlay");
  EXPECT_EQ(merged[1].name, "ONLY");
  EXPECT_EQ(merged[1].source, "envd-user");
  EXPECT_EQ(merged[2].name, "NEW");
  EXPECT_EQ(merged[2].value, "2");
}
