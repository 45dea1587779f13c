// The change journal: a small file in the scope's folder, ".change-journal", that a change
// writes just before its backup appears and removes after its last write. While it is
// there, the store, the native store and the export file may disagree, because the change
// that wrote it was killed part-way. The next change of the scope finishes that change
// before it plans its own (finish_interrupted in change.cpp):
//
//  - The store says whether the killed change landed: the journal holds a hash of the store
//    document the change was about to write. When the store holds it, the change landed,
//    and the native store and the export file are brought in line with the store, the
//    native removals the change had planned included (a line of a deleted variable is
//    then removed even though the store no longer names it). When it does not, the backup
//    the change took is removed, found by its file's serial number: no change landed, so
//    no backup stands for one.
//  - A journal that cannot be read was torn while it was written, before anything else.
//
// Lines of the library's own environment.d file that the store does not hold are thus of
// two kinds: left by a killed change, named in the journal and removed by the next change,
// or written by a person, which no change ever touches.
#pragma once

#include "core/files.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct change_journal {
  unsigned long long backup_serial = 0; // the serial number of the change's backup; 0: none
  std::uint64_t store_hash = 0;         // journal_hash of the store document it writes
  std::vector<std::string> removed;     // names it removes from the native store
};

std::string journal_path(const env_layout &files);
std::uint64_t journal_hash(std::string_view text);
// 0, or -1 with the message recorded.
int journal_write(const env_layout &files, const change_journal &journal);
// True when there is a journal; `readable` false when it is there but torn.
bool journal_read(const env_layout &files, change_journal &out, bool &readable);
void journal_clear(const env_layout &files);
// Removes the backup of that serial number from the folder, if it is there.
void journal_drop_backup(const env_layout &files, unsigned long long serial);
