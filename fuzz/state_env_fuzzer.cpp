// kenv-state/1 documents in environment.d syntax through parse_state: one it takes, written
// in that syntax and read back, is the same document, and writing it again gives the same
// text (state_round_trip.h). JSON holds whatever that syntax does, so the document goes
// through JSON as well.
#include "state_round_trip.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  if (!reads_as_json(text))
    check_state_round_trip("state_env_fuzzer", text, {StateFormat::env, StateFormat::json});
  return 0;
}
