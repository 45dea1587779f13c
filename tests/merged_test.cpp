// The merged view and value expansion.
#include "support/sandbox.h"

#include "core/views.h"

#include <gtest/gtest.h>

namespace {

// Expands one value against a list in one style, by exact name, as a session would.
std::string expand(std::string_view value, const env_kv_list &vars,
                   env_ref_style style = env_ref_style::dollar) {
  return expand_value(value, style, [&](std::string_view name) -> std::optional<std::string> {
    const env_kv *kv = env_kv_find(vars, std::string(name).c_str());
    return kv ? std::optional<std::string>(kv->value) : std::nullopt;
  });
}
std::string expand_percent(std::string_view value, const env_kv_list &vars) {
  return expand(value, vars, env_ref_style::percent);
}

env_kv_list vars_of(std::initializer_list<std::pair<const char *, const char *>> pairs) {
  env_kv_list vars;
  for (auto &[n, v] : pairs)
    env_kv_push(vars, n, v, "overlay");
  return vars;
}

class Merged : public Sandbox {};

} // namespace

// Each platform expands its own form; the other is text.
TEST(Expand, EachStyleExpandsItsOwnFormOnly) {
  env_kv_list vars = vars_of({{"A", "x"}, {"a", "second"}, {"B", "%C%"}, {"C", "y"}});
  for (const char *in : {"$A", "${A}"})
    EXPECT_EQ(expand(in, vars), "x") << in;
  EXPECT_EQ(expand("$a", vars), "second");
  EXPECT_EQ(expand("%A%", vars), "%A%");
  EXPECT_EQ(expand("[$A_$A]", vars), "[x]");
  EXPECT_EQ(expand("$A", {}), "");
  EXPECT_EQ(expand_percent("%A%", vars), "x");
  EXPECT_EQ(expand_percent("$A", vars), "$A");
  EXPECT_EQ(expand_percent("%B%", vars), "%C%");
}

TEST(Expand, UnknownNamesAndMalformedReferences) {
  env_kv_list vars = vars_of({{"A", "x"}, {"E", ""}});
  // Windows leaves a reference to an undefined name as written.
  EXPECT_EQ(expand_percent("%NOPE%", vars), "%NOPE%");
  EXPECT_EQ(expand_percent("50% of 70%", vars), "50% of 70%");
  EXPECT_EQ(expand_percent("100%", vars), "100%");
  EXPECT_EQ(expand_percent("%%A%", vars), "%x");
  EXPECT_EQ(expand("$1 a$ ${A", vars), "$1 a$ ${A");
  EXPECT_EQ(expand("${}", vars), "${}");
  EXPECT_EQ(expand("$", vars), "$");
  // The library's own values hold no operators: such a form is text.
  EXPECT_EQ(expand("${A:-d}", vars), "${A:-d}");
}

TEST(Expand, NamesAreAtMost255Bytes) {
  std::string n255(255, 'N'), n256(256, 'N');
  env_kv_list vars;
  env_kv_push(vars, n255.c_str(), "v", "overlay");
  env_kv_push(vars, n256.c_str(), "w", "overlay");
  EXPECT_EQ(expand_percent("%" + n255 + "%", vars), "v");
  EXPECT_EQ(expand_percent("%" + n256 + "%", vars), "%" + n256 + "%");
  EXPECT_EQ(expand("${" + n255 + "}", vars), "v");
  EXPECT_EQ(expand("${" + n256 + "}", vars), "${" + n256 + "}");
  EXPECT_EQ(expand(("$" + n256).c_str(), vars), "$" + n256);
}

TEST_F(Merged, StoreOverlaysNativeInPlaceByExactName) {
  write(user_envd() + "/10-a.conf", "Path=/native\nONLY=n\n");
  write(
      data_dir() + "/user-env.json",
      R"({"vars":[{"name":"NEW","value":"1"},{"name":"PATH","value":"/store"},{"name":"new","value":"2"}]})");
  env_kv_list merged;
  env_kv_index index;
  merge_report report;
  EXPECT_EQ(collect_merged(env_scope::user, data_dir() + "/user-env.json", merged, index, report), 0);
  // Names are bytes: Path, PATH, NEW and new are four variables.
  ASSERT_EQ(merged.size(), 5u);
  EXPECT_EQ(merged[0].name, "Path");
  EXPECT_EQ(merged[0].value, "/native");
  EXPECT_EQ(merged[0].source, "envd-user");
  EXPECT_EQ(merged[1].name, "ONLY");
  EXPECT_EQ(merged[2].name, "NEW");
  EXPECT_EQ(merged[2].value, "1");
  EXPECT_EQ(merged[3].name, "PATH");
  EXPECT_EQ(merged[3].source, "overlay");
  EXPECT_EQ(merged[4].name, "new");
}
