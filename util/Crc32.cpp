#include "util/Crc32.h"

#include <array>

namespace voltrane {

namespace {

// Slicing-by-8 tables: table[0] is the classic byte table, the others let eight bytes be
// folded per step so that the checksum keeps pace with deflate on large chunks.
using TCrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr TCrcTables MakeTables() {
  TCrcTables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n)
    for (int k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
  return t;
}

constexpr TCrcTables kTables = MakeTables();

}  // namespace

uint32_t Crc32Byte(uint8_t byte, uint32_t crc) {
  return kTables[0][(byte ^ crc) & 0xFF] ^ (crc >> 8);
}

void CrcUpdate(uint32_t& crc, const char* data, size_t size) {
  const auto* p = reinterpret_cast<const uint8_t*>(data);
  uint32_t c = crc;
  for (; size >= 8; size -= 8, p += 8) {
    uint32_t lo =
        c ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    uint32_t hi =
        uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
    c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
        kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
        kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
  }
  for (; size > 0; --size, ++p) c = Crc32Byte(*p, c);
  crc = c;
}

}  // namespace voltrane
