// Processors without a CRC-specific engine: the portable engines are all there is.
#include "crc32_engines.h"

namespace korvale {

std::span<const CrcEngine> acceleratedCrcEngines() { return {}; }

}  // namespace korvale
