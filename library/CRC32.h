// tCRC32: the CRC-32/JAMCRC engine (reflected polynomial 0xEDB88320, register starting at
// 0xFFFFFFFF, no final complement), and its text form "0x" + eight uppercase hex digits.
// Internal to the library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace korvale {

// Entry i: i shifted right eight times, XORing the polynomial whenever a 1 falls out.
constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1) ? 0xEDB88320u : 0u);
    table[i] = value;
  }
  return table;
}
inline constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

// The reference update: one table lookup, one shift and two XORs per byte.
constexpr uint32_t crc32UpdateBytewise(uint32_t reg, std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes) reg = (reg >> 8) ^ kCrcTable[(reg ^ b) & 0xFF];
  return reg;
}

// One way of running the update. Every engine gives the reference register for every input.
struct CrcEngine {
  std::string_view name;
  uint32_t (*update)(uint32_t reg, std::span<const uint8_t> bytes);
};

// The engines this processor can run, the reference first and the fastest last.
std::span<const CrcEngine> crcEngines();

// The fastest update this processor offers; the same register as the reference for every input.
uint32_t crc32Update(uint32_t reg, std::span<const uint8_t> bytes);

// "0x" followed by the register as eight uppercase hexadecimal digits, leading zeros included.
std::string formatCrcText(uint32_t reg);

class tCRC32 {
 public:
  tCRC32() { initCRC32(); }

  void initCRC32() { register_ = 0xFFFFFFFFu; }
  // Feeds the first `count` bytes of `buffer`; a count of 0 or below feeds nothing.
  uint32_t updateCRC32(const void* buffer, int32_t count);
  uint32_t update(std::span<const uint8_t> bytes) {
    return register_ = crc32Update(register_, bytes);
  }
  std::string getCRC32() const { return formatCrcText(register_); }
  uint32_t value() const { return register_; }

 private:
  uint32_t register_;
};

}  // namespace korvale
