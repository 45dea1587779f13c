// The order in which a scope's own variables are assigned in the files a new session and a
// shell read them from (the library's environment.d file and the export file): the store's
// order, except that a variable whose value refers to another of the scope's variables comes
// after that variable, so that the reference gets the value the scope gives it, whatever
// order the variables were set in. A reference of a variable to its own name
// (PATH=${PATH}:...) means the value it inherits and orders nothing. Variables that refer to
// each other around a circle of two or more keep the store's order among themselves; the
// listing warns of them ("reference_cycle").
#pragma once

#include "core/names.h"

#include <cstddef>
#include <string>
#include <vector>

// Positions into `vars`, in assignment order. Names of variables on a circle of references
// go to `in_cycles` when it is given, in the store's order.
std::vector<std::size_t> assignment_order(const env_kv_list &vars,
                                          std::vector<std::string> *in_cycles = nullptr);
// The variables in assignment order.
env_kv_list in_assignment_order(const env_kv_list &vars);
