// kenv's only way into the library: one function per export it uses. Each turns a failed
// call into a LibraryError carrying the library's own words, and owns the texts the
// listings return for exactly as long as it copies them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// A failure the library reported (or a document kenv could not read): main prints
// "kenv: <message>" and exits with status 1.
struct LibraryError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The listing of a scope. A listing can succeed and still leave the message of a step
// that failed softly (a null "export_file", for one): `note` receives it when given.
std::string lib_list(const std::string &scope, std::string *note = nullptr);
std::string lib_backups();
void lib_set(const std::string &scope, const std::string &name, const std::string &value);
void lib_del(const std::string &scope, const std::string &name);
// A change that succeeds may leave a note in the library's message (a restore says which
// protected names it left in place): the returned text is that note, or empty.
std::string lib_path_add(const std::string &scope, const std::string &entry, std::int32_t index);
std::string lib_path_del(const std::string &scope, const std::string &entry);
std::string lib_path_move(const std::string &scope, const std::string &entry, std::int32_t index);
std::string lib_restore(const std::string &backup_path);
