// The seam between the portable CRC engines (CRC32.cpp) and the ones that need processor
// features (crc32_x86.cpp, or crc32_generic.cpp where there are none). Internal to the library.
#pragma once

#include <cstdint>
#include <span>

#include "CRC32.h"

namespace korvale {

// Slicing-by-16: sixteen table lookups per sixteen bytes; the fastest portable engine, and the
// one the processor-specific engines use for the bytes they do not fold.
uint32_t crc32UpdateSliced(uint32_t reg, std::span<const uint8_t> bytes);

// The processor-specific engines this processor can run, fastest last.
std::span<const CrcEngine> acceleratedCrcEngines();

}  // namespace korvale
