// kenv-system-helper's request reader (decode_request), which runs as root on bytes from
// whoever started it: no input may abort it, and whatever it takes for a request encodes
// back to exactly the bytes it read, and reads back to the same request.
#include "request.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "request_fuzzer: %s\n", what);
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  std::optional<SystemRequest> request = decode_request(text);
  if (!request)
    return 0;
  const std::string encoded = encode_request(*request);
  if (encoded != text)
    fail("a decoded request encodes to other bytes than it was read from");
  if (decode_request(encoded) != request)
    fail("decode(encode(request)) is not the request");
  return 0;
}
