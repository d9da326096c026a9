// The library's process-wide record, as the load hooks (library_load_*.cpp) see it.
// Internal to the library.
#pragma once

namespace korvale {

// Puts the record of the last operation into its reset state.
void resetRecord() noexcept;

}  // namespace korvale
