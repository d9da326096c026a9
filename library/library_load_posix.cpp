// Natively the record is reset when the shared object is loaded, as DllMain does on Windows.
#include "library_state.h"

namespace {
[[gnu::constructor]] void onLoad() { korvale::resetRecord(); }
}  // namespace
