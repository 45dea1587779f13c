// Positions of records in a variable list, found by name in constant time. The table holds
// positions only and compares names against the list itself, so it allocates nothing per
// record and stays valid when the list's storage moves.
#pragma once

#include "core/names.h"

#include <cstdint>
#include <string_view>
#include <vector>

class env_kv_table {
public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // With `fold`, names match as env_name_eq matches them; without, byte for byte.
  explicit env_kv_table(bool fold);
  // Position of the first record added whose name matches, or npos.
  std::size_t find(const env_kv_list &list, std::string_view name) const;
  // Adds list[pos] unless a record with a matching name was added before; returns the
  // position of that earlier record, or npos when list[pos] was added.
  std::size_t add(const env_kv_list &list, std::size_t pos);
  // Prepares for `count` records in all.
  void reserve(const env_kv_list &list, std::size_t count);

private:
  // High 32 bits: the name's hash, so that most other names are passed over without a look
  // at the list; low 32 bits: position + 1, 0 for an empty slot.
  std::vector<std::uint64_t> slots_;
  std::size_t count_ = 0;
  bool fold_names_;
  unsigned char fold_[256]; // filled when the first record is added

  std::size_t hash(std::string_view name) const;
  bool same(std::string_view a, std::string_view b) const;
  std::size_t slot_of(const env_kv_list &list, std::string_view name, std::size_t h) const;
  void rehash(const env_kv_list &list, std::size_t slots);
};
