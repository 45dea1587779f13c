#include "core/env_size.h"

#include "core/files.h"
#include "core/state.h"

std::size_t env_size_of(const env_kv_list &vars) {
  std::size_t size = 0;
  for (const env_kv &kv : vars)
    if (!kv.value.empty())
      size += kv.name.size() + 1 + kv.value.size() + 1;
  return size;
}

std::size_t env_size_beside(env_scope scope) {
  env_layout files;
  if (scope == env_scope::system || env_layout_of(env_scope::system, files) != 0)
    return 0;
  store_file system;
  store_read(files.store, system);
  return env_size_of(system.vars);
}
