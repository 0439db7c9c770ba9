#include "util/Crc32.h"

#include <zlib.h>

#include <array>
#include <cstdio>

namespace voltrane {

namespace {

// The one-byte reference table; the run itself goes through zlib.
constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t Crc32Byte(uint8_t byte, uint32_t crc) {
  return kTable[(byte ^ crc) & 0xFF] ^ (crc >> 8);
}

void CrcUpdate(uint32_t& crc, const char* data, size_t size) {
  // zlib's CRC-32 is the same checksum, several bytes per step; it takes and gives the
  // complemented register, so the complements here keep the caller's register as it is.
  uLong value = ~crc & 0xFFFFFFFFu;
  const auto* bytes = reinterpret_cast<const Bytef*>(data);
  while (size > 0) {
    uInt slice = size > 0x40000000 ? 0x40000000 : uInt(size);
    value = crc32(value, bytes, slice);
    bytes += slice;
    size -= slice;
  }
  crc = ~uint32_t(value);
}

uint32_t Crc32Of(std::string_view bytes, uint32_t previous) {
  uint32_t crc = ~previous;  // the register that the finished value was taken from
  CrcUpdate(crc, bytes.data(), bytes.size());
  return ~crc;
}

std::string Crc32Text(uint32_t crc) {
  char text[16];
  std::snprintf(text, sizeof text, "%.8X", unsigned(crc));
  return text;
}

}  // namespace voltrane
