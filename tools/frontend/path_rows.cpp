#include "path_rows.h"

std::string path_state_text(const PathEntry &entry) {
  std::string words;
  if (!entry.exists)
    words = entry.entry.empty() ? "empty: a shell searches the current folder" : "missing: no such folder";
  if (entry.dup)
    words += (words.empty() ? "" : "; ") + std::string("duplicate of an earlier entry");
  return words.empty() ? "ok" : words;
}

std::string path_origin_text(const std::string &scope, const PathEntry &entry) {
  std::string who = entry.editable ? scope + " scope" : "read-only";
  return who + " · " + (entry.origin.empty() ? entry.source : entry.origin);
}

int own_index(const std::vector<PathEntry> &entries, int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= entries.size() ||
      !entries[static_cast<std::size_t>(row)].editable)
    return -1;
  int own = 0;
  for (int i = 0; i < row; ++i)
    own += entries[static_cast<std::size_t>(i)].editable ? 1 : 0;
  return own;
}

int own_count(const std::vector<PathEntry> &entries) {
  int own = 0;
  for (const PathEntry &e : entries)
    own += e.editable ? 1 : 0;
  return own;
}
