// A compact JSON text written straight into one buffer: for a listing, building a yyjson
// document first would cost several times the memory of the text itself. The text is
// byte for byte what yyjson writes with env_json_text_flags: '"', '\\' and control bytes
// escaped (\b \t \n \f \r, else \u00XX), every other byte copied, except that a byte that
// begins no UTF-8 sequence is written as U+FFFD: the documents are always valid UTF-8 JSON.
#pragma once

#include "core/json.h"

#include <cstddef>
#include <string_view>

class env_json_out {
public:
  // `expected` is a guess of the final size; the buffer grows past it as needed.
  explicit env_json_out(std::size_t expected);
  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  // The member name that the next value belongs to: plain ASCII, written as it is.
  void key(std::string_view name);
  void string(std::string_view text);
  void integer(long long value);
  void null();
  // The NUL-terminated text, for env_free_string.
  char *release();

private:
  yy_text buf_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool fresh_ = true; // nothing written yet in the current container, or a name just written

  void reserve(std::size_t more);
  void put(char c);
  void put(std::string_view bytes);
  void separate();
  void escaped(std::string_view text);
  void string_valid(std::string_view text);
};

// Whether the text is UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool env_json_utf8_valid(std::string_view text);
