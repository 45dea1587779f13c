// PATH diagnostics for the listing document.
#pragma once

#include "core/json.h"
#include "core/views.h"

// The scope's PATH entries (raw PATH split; for the user scope the entries shell start-up
// files add), flagged for existence and duplicates.
void path_diag_entries(const char *scope, const env_kv_list &merged, path_entry_list &out);
// One object per entry into "path", and each entry's warnings into "warnings".
void path_diag_emit_entries(yyjson_mut_doc *doc, const path_entry_list &entries, yyjson_mut_val *path_arr,
                            yyjson_mut_val *warnings);
// PATH length warnings, then per variable its value-length and "%"-in-name warnings.
void path_diag_emit_variables(yyjson_mut_doc *doc, const env_kv_list &merged, yyjson_mut_val *warnings);
