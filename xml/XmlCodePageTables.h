// Conversion tables of the single-byte code pages that XML declarations may name.
#pragma once

#include <cstdint>

namespace voltrane {

struct TSingleByteCodePage {
  uint16_t CodePage;
  uint16_t Upper[128];  // UTF-16 unit of each byte 0x80-0xFF; bytes below 0x80 are ASCII
};

constexpr int kSingleByteCodePageCount = 22;
extern const TSingleByteCodePage kSingleByteCodePages[kSingleByteCodePageCount];

}  // namespace voltrane
