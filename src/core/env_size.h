// How much of a program's environment the library's variables take, and the most they may.
//
// The kernel passes a program its arguments and its environment in one block, 2 MiB on
// Linux by default (a quarter of the 8 MiB stack limit). Variables that fill it leave no
// room for a command line: a shell that sources the export file then starts no program at
// all ("Argument list too long"). The library keeps its own variables to half of it.
#pragma once

#include "core/names.h"

#include <cstddef>

inline constexpr std::size_t env_size_limit = std::size_t{1} << 20;
// The listing warns ("env_size") from here on.
inline constexpr std::size_t env_size_warn_at = env_size_limit / 4 * 3;

// NAME=value and the NUL that ends it, for each variable with a value: environment.d and the
// export file pass no empty one on.
std::size_t env_size_of(const env_kv_list &vars);
// What comes beside a scope's own variables in a session: a user session inherits the system
// scope's too, so a user change counts the system store (readable by every user); a system
// change counts only its own.
std::size_t env_size_beside(env_scope scope);
