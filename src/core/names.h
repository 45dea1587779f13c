// Variable lists, name comparison and the rules for names and scopes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One variable: name, value and where it came from ("overlay" for the store, the native
// store's tag otherwise). Strings are owned; a NULL input is stored as "".
struct env_kv {
  std::string name;
  std::string value;
  std::string source;
};

// Insertion order, never sorted; may hold several records whose names compare equal, and
// lookups return the first. Allocation failure throws std::bad_alloc, which the call frame
// reports as "out of memory", so a list is never silently short of a record.
using env_kv_list = std::vector<env_kv>;

void env_kv_push(env_kv_list &list, const char *name, const char *value, const char *source);
const env_kv *env_kv_find(const env_kv_list &list, const char *name);
env_kv *env_kv_find(env_kv_list &list, const char *name);

// Byte-wise comparison with ASCII letters folded; NULL sorts before any text. Callers only
// test for 0. For scope texts and other words the library matches in any case.
int env_name_casecmp(const char *a, const char *b);
// Whether two variable names are one name on this platform: ASCII letter case ignored on
// Windows, byte for byte elsewhere.
bool env_name_eq(std::string_view a, std::string_view b);

// 0 when the name may be set or deleted; -1 with the message recorded.
int env_validate_name(const char *name);

// The two scopes. The exports parse the caller's text once, at the door; everything below
// them carries the enum.
enum class env_scope { user, system };
// "user" or "system".
const char *env_scope_name(env_scope scope);
// Parses "user" or "system" in any ASCII letter case; false with "scope must be 'user' or
// 'system'" recorded otherwise.
bool env_scope_arg(const char *text, env_scope &out);
int env_name_is_protected(const char *name);
int env_name_is_path(const char *name);

// The names that deleting refuses, in their fixed order.
extern const char *const env_protected_names[5];
