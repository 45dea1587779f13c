// env_backups: each scope's backups folder read once, what its index knows of each backup
// taken from it, and only the backups it does not know read. With tens of thousands of backups the
// cost is that of reading the folder, not of reading every backup.
#include "core/backups.h"

#include "core/frame.h"
#include "core/json.h"
#include "core/json_out.h"
#include "kestrune_env.h"
#include "platform/env_plat.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

namespace {

// One backup: its name's numbers (the order), its serial and what the listing shows. The
// texts are views into the index as read, or into `fresh` for a backup read now; `ts` and
// `scope` are index fields ("-" or "=" and the escaped text).
struct backup_row {
  std::uint64_t stamp = 0;
  std::uint64_t counter = 0;
  const std::string *dir = nullptr; // the backups folder it lies in
  std::string_view name;
  std::uint64_t serial = 0;
  std::int64_t vars = 0;
  std::string_view ts;
  std::string_view scope;
};

// Two names with the same numbers differ only in how many zeros lead the counter, so their
// lengths tell them apart, and equal lengths mean equal names.
struct name_order {
  bool operator()(const backup_row &a, const backup_row &b) const {
    if (a.stamp != b.stamp)
      return a.stamp < b.stamp;
    if (a.counter != b.counter)
      return a.counter < b.counter;
    return a.name.size() < b.name.size();
  }
};
constexpr name_order before;

bool same_name(const backup_row &a, const backup_row &b) {
  return a.stamp == b.stamp && a.counter == b.counter && a.name.size() == b.name.size();
}

// A backup of the folder, small so that sorting tens of thousands of them moves little.
struct folder_entry {
  std::uint64_t stamp;
  std::uint64_t counter;
  std::uint64_t serial;
  std::uint32_t at; // where its name lies in the folder's names
  std::uint32_t length;
};

// Read through the platform's folder listing rather than std::filesystem: libstdc++'s
// directory iterator allocates inside a noexcept function, so running out of memory there
// ends the process, and with an error_code it reports a directory it had no memory to open
// as an empty one. Entries the listing knows to be no file (FIFOs, folders) are no backups
// and never read. The names are kept in `names`; the entries come out in name order.
std::vector<folder_entry> folder_entries(const std::string &dir, std::string &names) {
  std::vector<folder_entry> entries;
  errno = 0;
  int rc = env_plat_list_dir(dir, [&](const char *file, unsigned long long serial, bool maybe_file) {
    std::string_view name(file);
    folder_entry entry{0, 0, serial, static_cast<std::uint32_t>(names.size()),
                       static_cast<std::uint32_t>(name.size())};
    if (!maybe_file || !backup_name_parse(name, entry.stamp, entry.counter))
      return;
    names.append(name);
    entries.push_back(entry);
  });
  if (rc != 0 && errno == ENOMEM)
    throw std::bad_alloc();
  std::sort(entries.begin(), entries.end(), [](const folder_entry &a, const folder_entry &b) {
    if (a.stamp != b.stamp)
      return a.stamp < b.stamp;
    return a.counter != b.counter ? a.counter < b.counter : a.length < b.length;
  });
  return entries;
}

std::vector<backup_row> rows_of(const std::vector<folder_entry> &entries, const std::string &names) {
  std::vector<backup_row> rows(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const folder_entry &e = entries[i];
    rows[i].stamp = e.stamp;
    rows[i].counter = e.counter;
    rows[i].serial = e.serial;
    rows[i].name = std::string_view(names).substr(e.at, e.length);
  }
  return rows;
}

// True when the index knows exactly the folder's backups, each under its serial: then its
// rows are the listing, and no backup need be read.
bool index_is_current(const std::vector<folder_entry> &entries, const std::vector<backup_row> &known) {
  if (entries.size() != known.size())
    return false;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const folder_entry &e = entries[i];
    const backup_row &k = known[i];
    if (e.stamp != k.stamp || e.counter != k.counter || e.length != k.name.size() || e.serial != k.serial)
      return false;
  }
  return true;
}

// The fields of one index line; false when it is not well formed.
bool parse_line(std::string_view line, backup_row &row) {
  std::string_view field[5];
  for (int i = 0; i < 4; ++i) {
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos)
      return false;
    field[i] = line.substr(0, tab);
    line.remove_prefix(tab + 1);
  }
  field[4] = line;
  std::uint64_t vars = 0;
  row.name = field[0];
  if (!backup_name_parse(row.name, row.stamp, row.counter) || field[1].empty() || field[2].empty())
    return false;
  auto number = [](std::string_view s, std::uint64_t &out) {
    out = 0;
    for (char c : s) {
      if (c < '0' || c > '9' || out > (~0ULL - 9) / 10)
        return false;
      out = out * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
  };
  auto is_field = [](std::string_view f) { return f == "-" || (!f.empty() && f[0] == '='); };
  if (!number(field[1], row.serial) || !number(field[2], vars) || !is_field(field[3]) || !is_field(field[4]))
    return false;
  row.vars = static_cast<std::int64_t>(vars);
  row.ts = field[3];
  row.scope = field[4];
  return true;
}

// The index's rows in name order; empty when it is missing or damaged anywhere (it is then
// rebuilt whole). A last line without its newline was cut short and is left out.
std::vector<backup_row> index_rows(const std::string &text) {
  std::vector<backup_row> rows;
  std::string_view rest(text);
  constexpr std::string_view header = "pellomar backup index 1\n";
  if (rest.substr(0, header.size()) != header)
    return rows;
  rest.remove_prefix(header.size());
  rows.reserve(static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\n')));
  for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1)) {
    backup_row row;
    if (!parse_line(rest.substr(0, end), row))
      return {};
    rows.push_back(row);
  }
  if (!std::is_sorted(rows.begin(), rows.end(), before))
    std::sort(rows.begin(), rows.end(), before);
  return rows;
}

// What the index would hold for a backup it did not know: read now. Its fields are kept in
// `fresh`, which only ever grows at its end, so that the views stay valid.
void read_backup_facts(const std::string &dir, backup_row &row, std::string &text, env_json_reader &reader,
                       std::deque<std::string> &fresh) {
  std::string path = dir + "/" + std::string(row.name);
  yy_doc doc;
  if (env_read_file(path.c_str(), text) == 0)
    doc = reader.read(text);
  yyjson_val *root = doc ? yyjson_doc_get_root(doc.get()) : nullptr;
  auto field = [&](const char *key) {
    yyjson_val *v = env_json_member(root, key);
    std::string &out = fresh.emplace_back();
    backup_index_field(out, yyjson_is_str(v) ? yyjson_get_str(v) : nullptr, yyjson_get_len(v));
    return std::string_view(out);
  };
  row.ts = field("ts");
  row.scope = field("scope");
  row.vars = static_cast<std::int64_t>(yyjson_arr_size(env_json_member(root, "vars")));
}

// The folder's rows with what the index knows filled in; true when the index has to be
// written again (it missed a backup, named one that is gone, or had another serial).
bool join_index(const std::string &dir, std::vector<backup_row> &rows, const std::vector<backup_row> &known,
                std::deque<std::string> &fresh) {
  bool stale = false;
  std::string text;
  env_json_reader reader;
  auto k = known.begin();
  for (backup_row &row : rows) {
    while (k != known.end() && before(*k, row)) {
      stale = true; // a backup that is gone
      ++k;
    }
    if (k != known.end() && same_name(*k, row) && k->serial == row.serial) {
      row.vars = k->vars;
      row.ts = k->ts;
      row.scope = k->scope;
      ++k;
      continue;
    }
    if (k != known.end() && same_name(*k, row))
      ++k;
    read_backup_facts(dir, row, text, reader, fresh);
    stale = true;
  }
  return stale || k != known.end();
}

void write_index(const std::string &dir, const std::vector<backup_row> &rows) {
  std::string text = "pellomar backup index 1\n";
  text.reserve(text.size() + rows.size() * 64);
  for (const backup_row &r : rows) {
    text.append(r.name).append("\t").append(std::to_string(r.serial)).append("\t");
    text.append(std::to_string(r.vars)).append("\t").append(r.ts).append("\t").append(r.scope).append("\n");
  }
  // Derived, so not worth a flush; a listing that cannot write it just reads more next time.
  (void)env_write_file_unflushed(backup_index_path(dir).c_str(), text);
}

void write_field(env_json_out &out, const char *key, std::string_view field, std::string &scratch) {
  out.key(key);
  if (field.find('\\') == std::string_view::npos && field.size() > 0 && field[0] == '=')
    out.string(field.substr(1));
  else if (backup_index_text(field, scratch))
    out.string(scratch);
  else
    out.null();
}

char *write_listing(const std::vector<backup_row> &rows) {
  std::size_t dir_size = rows.empty() ? 0 : rows.back().dir->size();
  env_json_out out(rows.size() * (dir_size + 2 * 32 + 80) + 2);
  std::string path, scratch;
  out.begin_array();
  for (auto r = rows.rbegin(); r != rows.rend(); ++r) {
    out.begin_object();
    out.key("file");
    out.string(r->name);
    out.key("path");
    path.assign(*r->dir).append("/");
    out.string(path.append(r->name));
    write_field(out, "ts", r->ts, scratch);
    write_field(out, "scope", r->scope, scratch);
    out.key("vars");
    out.integer(r->vars);
    out.end_object();
  }
  out.end_array();
  return out.release();
}

// One backups folder as the listing reads it. The rows are views into the texts kept here,
// so a folder is filled where it stays.
struct backup_folder {
  std::string dir;
  std::string names;
  std::string index_text;
  std::deque<std::string> fresh;
  std::vector<backup_row> rows;
};

// The folder's backups in name order, its index brought up to date on the way.
void read_folder(backup_folder &f) {
  std::vector<folder_entry> entries = folder_entries(f.dir, f.names);
  if (!entries.empty() && env_read_file(backup_index_path(f.dir).c_str(), f.index_text) != 0)
    f.index_text.clear();
  std::vector<backup_row> known = index_rows(f.index_text);
  if (index_is_current(entries, known)) {
    f.rows = std::move(known);
  } else {
    f.rows = rows_of(entries, f.names);
    if (join_index(f.dir, f.rows, known, f.fresh))
      write_index(f.dir, f.rows);
  }
  for (backup_row &row : f.rows)
    row.dir = &f.dir;
}

// The backups of both folders in name order (time order).
std::vector<backup_row> merged_rows(backup_folder &user, backup_folder &system) {
  if (system.rows.empty())
    return std::move(user.rows);
  std::vector<backup_row> rows;
  rows.reserve(user.rows.size() + system.rows.size());
  std::merge(user.rows.begin(), user.rows.end(), system.rows.begin(), system.rows.end(),
             std::back_inserter(rows), before);
  return rows;
}

} // namespace

// The user's backups folder, and the system scope's where this process may read it (its
// backups are its administrators' alone).
char *list_backups() {
  env_layout files;
  if (env_layout_of(env_scope::user, files) != 0) {
    env_set_error("cannot resolve backup directory");
    return nullptr;
  }
  backup_folder user, system;
  user.dir = files.backups;
  read_folder(user);
  std::string error = env_last_error();
  if (env_layout_of(env_scope::system, files) == 0 && files.backups != user.dir) {
    system.dir = files.backups;
    read_folder(system);
  }
  env_set_error("%s", error.c_str());
  return write_listing(merged_rows(user, system));
}
