// tCRC32: table-driven CRC-32/JAMCRC.
#include "CRC32.h"

namespace korvale {

uint32_t crc32Update(uint32_t reg, std::span<const uint8_t> bytes) {
  return crc32UpdateBytewise(reg, bytes);
}

std::string formatCrcText(uint32_t reg) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x00000000";
  for (int i = 9; i >= 2; --i, reg >>= 4) text[i] = kDigits[reg & 0xF];
  return text;
}

uint32_t tCRC32::updateCRC32(const void* buffer, int32_t count) {
  if (count <= 0) return register_;
  return update({static_cast<const uint8_t*>(buffer), static_cast<std::size_t>(count)});
}

}  // namespace korvale
