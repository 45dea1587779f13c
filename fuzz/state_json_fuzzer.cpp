// JSON kenv-state/1 documents through parse_state: one it takes, written as JSON and read
// back, is the same document, and writing it again gives the same text (state_round_trip.h).
#include "state_round_trip.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  if (reads_as_json(text))
    check_state_round_trip("state_json_fuzzer", text, {StateFormat::json});
  return 0;
}
