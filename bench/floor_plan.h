// The floor of one operation: the directory listings, file reads, status queries and
// durable writes the library cannot avoid, with the bytes it wrote, replayed on copies.
#pragma once

#include "ops.h"

#include <string>
#include <vector>

namespace bench {

struct floor_write {
  std::string path;
  std::string data;
  bool new_file = false; // a backup: never replaces a file
};

struct floor_plan {
  std::string lock;                 // the lock file, or "" for a listing
  std::vector<std::string> listed;  // directories read
  std::vector<std::string> reads;   // whole files read
  std::vector<std::string> tails;   // files of which only the end is read
  std::vector<std::string> queried; // status queries
  std::vector<floor_write> writes;
  std::vector<floor_write> appends; // lines added to a file, not flushed
};

// The plan of `o`, taken right after the library performed it once.
floor_plan plan_for(op o, const workload &w);
// Replays the plan; false when a call failed.
bool replay(const floor_plan &plan);

} // namespace bench
