// Variable lists and the rules for names and scopes.
#include "core/names.h"

#include "core/frame.h"
#include "platform/env_plat.h"

#include <cctype>
#include <cstring>

const char *const env_protected_names[5] = {"PATH", "SystemRoot", "WINDIR", "TEMP", "TMP"};

void env_kv_push(env_kv_list &list, const char *name, const char *value, const char *source) {
  env_kv record{name ? name : "", value ? value : "", source ? source : ""};
  list.push_back(std::move(record));
}

const env_kv *env_kv_find(const env_kv_list &list, const char *name) {
  if (!name)
    return nullptr;
  for (const env_kv &kv : list)
    if (env_name_eq(kv.name, name))
      return &kv;
  return nullptr;
}

env_kv *env_kv_find(env_kv_list &list, const char *name) {
  return const_cast<env_kv *>(env_kv_find(static_cast<const env_kv_list &>(list), name));
}

// The library never sets a locale, so tolower folds ASCII letters only.
static int fold(unsigned char c) {
  return std::tolower(c);
}

int env_name_casecmp(const char *a, const char *b) {
  if (!a || !b)
    return a ? 1 : (b ? -1 : 0);
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a);
    unsigned char cb = static_cast<unsigned char>(*b);
    if (ca == 0)
      return 0 - cb;
    if (cb == 0)
      return ca;
    if (fold(ca) != fold(cb))
      return fold(ca) - fold(cb);
  }
}

bool env_name_eq(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  if (!env_plat_names_fold_case())
    return a == b;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

int env_validate_name(const char *name) {
  if (!name || !*name) {
    env_set_error("empty or NULL variable name");
    return -1;
  }
  if (std::strchr(name, '=')) {
    env_set_error("illegal character '=' in variable name");
    return -1;
  }
  if (std::strchr(name, ';')) {
    env_set_error("illegal character ';' in variable name");
    return -1;
  }
  for (const char *p = name; *p; ++p) {
    if (static_cast<unsigned char>(*p) < 0x20) {
      env_set_error("control character in variable name");
      return -1;
    }
  }
  return 0;
}

const char *env_scope_name(env_scope scope) {
  return scope == env_scope::system ? "system" : "user";
}

bool env_scope_arg(const char *text, env_scope &out) {
  if (text && env_name_casecmp(text, "user") == 0) {
    out = env_scope::user;
    return true;
  }
  if (text && env_name_casecmp(text, "system") == 0) {
    out = env_scope::system;
    return true;
  }
  env_set_error("scope must be 'user' or 'system'");
  return false;
}

int env_name_is_protected(const char *name) {
  if (!name)
    return 0;
  for (const char *prot : env_protected_names)
    if (env_name_eq(name, prot))
      return 1;
  return 0;
}

int env_name_is_path(const char *name) {
  return name && env_name_eq(name, "PATH");
}
