// The name table: open addressing with linear probing over a power-of-two array, at most
// two thirds full.
#include "core/kv_table.h"

#include <cctype>
#include <new>

env_kv_table::env_kv_table(bool fold) : fold_names_(fold) {
}

std::size_t env_kv_table::hash(std::string_view name) const {
  std::uint64_t h = 14695981039346656037ull; // FNV-1a
  for (char c : name)
    h = (h ^ fold_[static_cast<unsigned char>(c)]) * 1099511628211ull;
  return static_cast<std::size_t>(h ^ (h >> 29));
}

bool env_kv_table::same(std::string_view a, std::string_view b) const {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold_[static_cast<unsigned char>(a[i])] != fold_[static_cast<unsigned char>(b[i])])
      return false;
  return true;
}

namespace {

constexpr std::uint64_t position_bits = 0xFFFFFFFFu;

std::size_t position(std::uint64_t slot) {
  return static_cast<std::size_t>(slot & position_bits) - 1;
}

std::uint64_t tag(std::size_t h) {
  return static_cast<std::uint64_t>(h) & ~position_bits;
}

} // namespace

// The slot holding the name, or the empty slot where it would go.
std::size_t env_kv_table::slot_of(const env_kv_list &list, std::string_view name, std::size_t h) const {
  std::size_t mask = slots_.size() - 1;
  for (std::size_t i = h & mask;; i = (i + 1) & mask) {
    std::uint64_t slot = slots_[i];
    if (slot == 0 || ((slot & ~position_bits) == tag(h) && same(list[position(slot)].name, name)))
      return i;
  }
}

std::size_t env_kv_table::find(const env_kv_list &list, std::string_view name) const {
  if (slots_.empty())
    return npos;
  std::uint64_t slot = slots_[slot_of(list, name, hash(name))];
  return slot == 0 ? npos : position(slot);
}

std::size_t env_kv_table::add(const env_kv_list &list, std::size_t pos) {
  if (pos >= position_bits - 1)
    throw std::bad_alloc(); // positions are kept in 32 bits
  if (3 * (count_ + 1) > 2 * slots_.size())
    rehash(list, slots_.empty() ? 16 : 2 * slots_.size());
  std::size_t h = hash(list[pos].name);
  std::size_t i = slot_of(list, list[pos].name, h);
  if (slots_[i] != 0)
    return position(slots_[i]);
  slots_[i] = tag(h) | (pos + 1);
  ++count_;
  return npos;
}

void env_kv_table::reserve(const env_kv_list &list, std::size_t count) {
  std::size_t slots = slots_.empty() ? 16 : slots_.size();
  while (2 * slots < 3 * count)
    slots *= 2;
  if (slots > slots_.size())
    rehash(list, slots);
}

void env_kv_table::rehash(const env_kv_list &list, std::size_t slots) {
  if (slots_.empty()) {
    // One lookup per byte instead of a call; tolower is what env_name_eq folds with.
    for (int c = 0; c < 256; ++c)
      fold_[c] = static_cast<unsigned char>(fold_names_ ? std::tolower(c) : c);
  }
  std::vector<std::uint64_t> old(slots, 0);
  old.swap(slots_);
  std::size_t mask = slots - 1;
  for (std::uint64_t slot : old) {
    if (slot == 0)
      continue;
    std::size_t i = hash(list[position(slot)].name) & mask;
    while (slots_[i] != 0)
      i = (i + 1) & mask;
    slots_[i] = slot;
  }
}
