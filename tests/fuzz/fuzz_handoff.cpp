// The results window takes hand-over messages (desk/handoff.h) from any program of its session.
// Whatever the bytes, the decoder answers without fault, and what it accepts is exactly the
// message the encoder writes for it: a path that is empty, holds a NUL or passes the longest
// path, a count or length that does not fit, or any byte more or less, is refused.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "handoff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace korvale::desk;
  const std::span<const uint8_t> bytes(data, size);
  if (const auto request = decodeHandoff(bytes)) {
    const auto again = encodeHandoff(*request);
    if (!again || !std::equal(again->begin(), again->end(), bytes.begin(), bytes.end())) {
      std::abort();
    }
  }
  return 0;
}
