// tCRC32: table-driven CRC-32/JAMCRC, with the per-byte table as the reference and faster
// engines that give the same register.
#include "CRC32.h"

#include <vector>

#include "crc32_engines.h"

namespace korvale {
namespace {

// Table k gives the effect of a byte followed by k zero bytes, so sixteen bytes can be
// looked up independently and their effects XORed together.
using SliceTables = std::array<std::array<uint32_t, 256>, 16>;

constexpr SliceTables makeSliceTables() {
  SliceTables tables{};
  tables[0] = kCrcTable;
  for (std::size_t k = 1; k < tables.size(); ++k) {
    for (std::size_t i = 0; i < 256; ++i) {
      const uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ kCrcTable[previous & 0xFF];
    }
  }
  return tables;
}
constexpr SliceTables kSliceTables = makeSliceTables();

uint32_t bytewise(uint32_t reg, std::span<const uint8_t> bytes) {
  return crc32UpdateBytewise(reg, bytes);
}

}  // namespace

uint32_t crc32UpdateSliced(uint32_t reg, std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  const SliceTables& t = kSliceTables;
  for (; n >= 16; p += 16, n -= 16) {
    // The register overlaps the first four bytes; byte i is followed by 15 - i more.
    reg = t[15][(p[0] ^ reg) & 0xFF] ^ t[14][(p[1] ^ (reg >> 8)) & 0xFF] ^
          t[13][(p[2] ^ (reg >> 16)) & 0xFF] ^ t[12][p[3] ^ (reg >> 24)] ^ t[11][p[4]] ^
          t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^
          t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
  }
  return crc32UpdateBytewise(reg, {p, n});
}

std::span<const CrcEngine> crcEngines() {
  static const std::vector<CrcEngine> engines = [] {
    std::vector<CrcEngine> list = {{"bytewise", &bytewise}, {"slicing-by-16", &crc32UpdateSliced}};
    for (const CrcEngine& engine : acceleratedCrcEngines()) list.push_back(engine);
    return list;
  }();
  return engines;
}

uint32_t crc32Update(uint32_t reg, std::span<const uint8_t> bytes) {
  static const auto fastest = crcEngines().back().update;
  return fastest(reg, bytes);
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
