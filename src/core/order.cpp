// Assignment order (see order.h): a topological order of the references between the
// scope's own variables that keeps the store's order wherever the references allow.
#include "core/order.h"

#include "core/views.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <functional>
#include <queue>

namespace {

// For each variable, the other variables of the list its value refers to.
std::vector<std::vector<std::size_t>> references(const env_kv_list &vars) {
  env_kv_index index(vars);
  env_ref_style style = env_plat_reference_style();
  const char lead = style == env_ref_style::percent ? '%' : '$';
  std::vector<std::vector<std::size_t>> refs(vars.size());
  for (std::size_t i = 0; i < vars.size(); ++i) {
    if (vars[i].value.find(lead) == std::string::npos)
      continue;
    (void)expand_value(vars[i].value, style, [&](std::string_view name) -> std::optional<std::string> {
      long at = index.find(name);
      if (at >= 0 && static_cast<std::size_t>(at) != i)
        refs[i].push_back(static_cast<std::size_t>(at));
      return std::nullopt;
    });
  }
  return refs;
}

// Kahn's algorithm, taking the earliest variable in the store whose references are all
// assigned; where none is (a circle), the earliest one left.
std::vector<std::size_t> topological(const std::vector<std::vector<std::size_t>> &refs,
                                     std::vector<bool> &broke_circle) {
  std::size_t n = refs.size();
  std::vector<std::size_t> waiting(n, 0);
  std::vector<std::vector<std::size_t>> dependents(n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t r : refs[i]) {
      ++waiting[i];
      dependents[r].push_back(i);
    }
  std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> ready;
  for (std::size_t i = 0; i < n; ++i)
    if (waiting[i] == 0)
      ready.push(i);
  std::vector<std::size_t> order;
  std::vector<bool> placed(n, false);
  broke_circle.assign(n, false);
  order.reserve(n);
  for (std::size_t next_left = 0; order.size() < n;) {
    std::size_t i = 0;
    if (!ready.empty()) {
      i = ready.top();
      ready.pop();
    } else {
      while (placed[next_left])
        ++next_left;
      i = next_left;
      broke_circle[i] = true;
    }
    if (placed[i])
      continue;
    placed[i] = true;
    order.push_back(i);
    for (std::size_t d : dependents[i])
      if (--waiting[d] == 0 && !placed[d])
        ready.push(d);
  }
  return order;
}

// Whether the variable can reach itself through the references.
bool on_circle(std::size_t start, const std::vector<std::vector<std::size_t>> &refs) {
  std::vector<bool> seen(refs.size(), false);
  std::vector<std::size_t> stack(refs[start].begin(), refs[start].end());
  while (!stack.empty()) {
    std::size_t i = stack.back();
    stack.pop_back();
    if (i == start)
      return true;
    if (seen[i])
      continue;
    seen[i] = true;
    stack.insert(stack.end(), refs[i].begin(), refs[i].end());
  }
  return false;
}

} // namespace

std::vector<std::size_t> assignment_order(const env_kv_list &vars, std::vector<std::string> *in_cycles) {
  std::vector<std::vector<std::size_t>> refs = references(vars);
  std::vector<bool> broke_circle;
  std::vector<std::size_t> order = topological(refs, broke_circle);
  // Circles are rare: they are looked for only where the order had to break one.
  bool broke = std::find(broke_circle.begin(), broke_circle.end(), true) != broke_circle.end();
  for (std::size_t i = 0; in_cycles && broke && i < vars.size(); ++i)
    if (!refs[i].empty() && on_circle(i, refs))
      in_cycles->push_back(vars[i].name);
  return order;
}

env_kv_list in_assignment_order(const env_kv_list &vars) {
  env_kv_list out;
  out.reserve(vars.size());
  for (std::size_t i : assignment_order(vars))
    out.push_back(vars[i]);
  return out;
}
