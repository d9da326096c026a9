// The texts that name an outcome: the message of each error code, exactly as every program
// prints it, and the short word a list of results shows. Internal to the library, and shared by
// the programs that show outcomes (the results window, the page for browsers).
#pragma once

#include <cstdint>
#include <string_view>

namespace korvale {

// "OK", the error text of `code`, or "ERROR: [99] Unknown".
std::string_view errorText(int32_t code) noexcept;

// The word for a code in a list of results: "stamp OK", "not stamped"..., or "unknown".
std::string_view resultWord(int32_t code) noexcept;

}  // namespace korvale
