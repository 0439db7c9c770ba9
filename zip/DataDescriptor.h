// Finding where the data of a local record ends when its sizes follow the data in a data
// descriptor (general purpose flag bit 3), as streaming writers leave them.
#pragma once

#include <cstdint>

#include "rt/Stream.h"

namespace voltrane {

struct TDescriptorValues {
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
};

// With the stream at the start of the data: reads up to and including the 16-byte descriptor
// ("PK", 7, 8, crc-32, compressed size, uncompressed size) and gives its values. Deflated data
// ends where its deflate stream ends; stored data at the first descriptor whose compressed size
// matches. False, with the position undefined, when no such descriptor follows.
bool ReadThroughDataDescriptor(TStream& stream, uint16_t method, TDescriptorValues& values);

}  // namespace voltrane
