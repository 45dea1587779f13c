#include "backup_diff.h"

#include <unordered_map>

VarPairs listing_store(const Listing &listing) {
  VarPairs out;
  for (const Variable &v : listing.vars)
    if (v.source == "overlay")
      out.emplace_back(v.name, v.value);
  return out;
}

std::vector<VariableChange> backup_changes(const BackupFile &backup, const Listing &now) {
  std::unordered_map<std::string, const std::string *> stored, in_backup;
  for (const Variable &v : now.vars)
    if (v.source == "overlay")
      stored.emplace(v.name, &v.value);
  for (const auto &[name, value] : backup.vars)
    in_backup.emplace(name, &value);
  std::vector<VariableChange> out;
  for (const auto &[name, value] : backup.vars) {
    auto it = stored.find(name);
    if (it == stored.end())
      out.push_back({VariableChange::added, name, "", value});
    else if (*it->second != value)
      out.push_back({VariableChange::changed, name, *it->second, value});
  }
  for (const Variable &v : now.vars)
    if (v.source == "overlay" && !in_backup.count(v.name))
      out.push_back({VariableChange::removed, v.name, v.value, ""});
  return out;
}
