// The change journal (see journal.h).
#include "core/journal.h"

#include "core/backups.h"
#include "core/file_ops.h"
#include "core/frame.h"
#include "core/json.h"
#include "platform/env_plat.h"

#include <cinttypes>
#include <cstdio>

namespace {

std::string hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

std::string journal_text(const change_journal &j) {
  yy_mut_doc doc = env_json_new_doc();
  yyjson_mut_doc *d = doc.get();
  yyjson_mut_val *root = yy_must(yyjson_mut_obj(d));
  yy_must(yyjson_mut_obj_add_uint(d, root, "backup_serial", j.backup_serial));
  std::string hash = hex(j.store_hash);
  yy_must(yyjson_mut_obj_add_strncpy(d, root, "store_hash", hash.data(), hash.size()));
  yyjson_mut_val *removed = yy_must(yyjson_mut_obj_add_arr(d, root, "removed"));
  for (const std::string &name : j.removed)
    yy_must(yyjson_mut_arr_add_strncpy(d, removed, name.data(), name.size()));
  yyjson_mut_doc_set_root(d, root);
  std::size_t len = 0;
  yy_text text = env_json_write(d, env_json_text_flags, &len);
  return text ? std::string(text.get(), len) : std::string();
}

bool parse_journal(const std::string &text, change_journal &out) {
  yy_doc doc = env_json_read(text);
  yyjson_val *root = doc ? yyjson_doc_get_root(doc.get()) : nullptr;
  yyjson_val *serial = env_json_member(root, "backup_serial");
  yyjson_val *hash = env_json_member(root, "store_hash");
  yyjson_val *removed = env_json_member(root, "removed");
  if (!yyjson_is_uint(serial) || !yyjson_is_str(hash) || !yyjson_is_arr(removed))
    return false;
  out.backup_serial = yyjson_get_uint(serial);
  if (std::sscanf(yyjson_get_str(hash), "%16" SCNx64, &out.store_hash) != 1)
    return false;
  std::size_t i, n;
  yyjson_val *name;
  yyjson_arr_foreach(removed, i, n, name) {
    if (yyjson_is_str(name))
      out.removed.emplace_back(yyjson_get_str(name), yyjson_get_len(name));
  }
  return true;
}

} // namespace

std::string journal_path(const env_layout &files) {
  return files.data_dir + "/.change-journal";
}

// FNV-1a: it only has to tell the store a change wrote from the one before it.
std::uint64_t journal_hash(std::string_view text) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : text)
    h = (h ^ c) * 0x100000001b3ULL;
  return h;
}

// Not flushed: it guards against a change killed part-way, not against a lost machine,
// and a change already flushes the store it writes after it.
int journal_write(const env_layout &files, const change_journal &journal) {
  std::string path = journal_path(files);
  std::string text = journal_text(journal);
  if (!text.empty() && env_write_file_unflushed(path.c_str(), text, 0600) == 0)
    return 0;
  env_set_error("cannot write change journal %s", path.c_str());
  return -1;
}

bool journal_read(const env_layout &files, change_journal &out, bool &readable) {
  out = change_journal();
  std::string path = journal_path(files), text;
  if (env_read_file(path.c_str(), text) != 0) {
    readable = false;
    return env_file_exists(path.c_str()) != 0;
  }
  readable = parse_journal(text, out);
  return true;
}

void journal_clear(const env_layout &files) {
  (void)env_file_sys.unlink(journal_path(files).c_str());
}

void journal_drop_backup(const env_layout &files, unsigned long long serial) {
  if (serial == 0)
    return;
  std::vector<std::string> taken;
  (void)env_plat_list_dir(files.backups, [&](const char *name, unsigned long long s, bool) {
    std::uint64_t stamp = 0, counter = 0;
    if (s == serial && backup_name_parse(name, stamp, counter))
      taken.emplace_back(name);
  });
  for (const std::string &name : taken)
    (void)env_file_sys.unlink((files.backups + "/" + name).c_str());
}
