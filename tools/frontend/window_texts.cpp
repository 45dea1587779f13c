#include "window_texts.h"

#include "output.h"
#include "views.h"

#include <unordered_map>

namespace {

std::string place_of(const Variable &v, const std::string &scope,
                     const std::unordered_map<std::string, const std::string *> &files) {
  if (v.source == "overlay")
    return "kenv's " + scope + " store";
  if (v.source == "registry-hkcu")
    return "the registry: HKEY_CURRENT_USER\\Environment";
  if (v.source == "registry-hklm")
    return "the registry: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session "
           "Manager\\Environment";
  if (auto file = files.find(v.name); file != files.end())
    return visible(*file->second);
  if (v.source == "envd-user" || v.source == "envd-system")
    return "an environment.d file of the " + scope + " scope";
  return visible(v.source);
}

} // namespace

std::vector<std::string> variable_places(const Listing &listing) {
  std::unordered_map<std::string, const std::string *> files;
  for (const SessionVariable &s : listing.session)
    files.emplace(s.name, &s.file);
  std::vector<std::string> out;
  out.reserve(listing.vars.size());
  for (const Variable &v : listing.vars)
    out.push_back(place_of(v, listing.scope, files));
  return out;
}

std::string entry_state_text(const PathEntry &entry) {
  std::string words;
  if (!entry.exists)
    words = entry.entry.empty() ? "empty: a shell searches the current folder" : "missing: no such folder";
  if (entry.dup)
    words += (words.empty() ? "" : "; ") + std::string("duplicate of an earlier entry");
  return words.empty() ? "ok" : words;
}

std::string entry_origin_text(const PathEntry &entry, const std::string &scope) {
  std::string who = entry.editable ? scope + " scope" : "read-only";
  return who + " · " + visible(entry.origin.empty() ? entry.source : entry.origin);
}

std::string warning_line(const Warning &warning) {
  return visible(warning.message) + ": " + warning_subject(warning);
}

int own_index(const std::vector<PathEntry> &entries, std::size_t row) {
  if (row >= entries.size() || !entries[row].editable)
    return -1;
  int own = 0;
  for (std::size_t i = 0; i < row; ++i)
    own += entries[i].editable ? 1 : 0;
  return own;
}

int own_count(const std::vector<PathEntry> &entries) {
  int own = 0;
  for (const PathEntry &e : entries)
    own += e.editable ? 1 : 0;
  return own;
}

int own_index_moved(const std::vector<PathEntry> &entries, std::size_t from, std::size_t before) {
  int own = 0;
  for (std::size_t i = 0; i < before && i < entries.size(); ++i)
    own += (i != from && entries[i].editable) ? 1 : 0;
  return own;
}

std::vector<std::string> split_list(const std::string &value, const std::string &separator) {
  std::vector<std::string> items;
  if (separator.empty())
    return {value};
  std::size_t start = 0;
  for (std::size_t at; (at = value.find(separator, start)) != std::string::npos;
       start = at + separator.size())
    items.push_back(value.substr(start, at - start));
  items.push_back(value.substr(start));
  return items;
}

std::string join_list(const std::vector<std::string> &items, const std::string &separator) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i)
    out += (i ? separator : "") + items[i];
  return out;
}
