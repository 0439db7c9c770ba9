// The standard CRC-32 (reflected polynomial 0xEDB88320, start all ones, final complement),
// kept in a register owned by the caller while the data is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rt/Stream.h"

namespace voltrane {

constexpr uint32_t CrcInit() {
  return 0xFFFFFFFFu;
}
// One byte at a time: the reference the table-driven routines are checked against; the
// run itself never calls it.
uint32_t Crc32Byte(uint8_t byte, uint32_t crc);
void CrcUpdate(uint32_t& crc, const char* data, size_t size);
inline void CrcUpdate(uint32_t& crc, const std::string& text) {
  CrcUpdate(crc, text.data(), text.size());
}
inline void CrcFinal(uint32_t& crc) {
  crc = ~crc;
}

// The finished CRC-32 of the bytes (0 for none), carried on from the finished value of the
// bytes before them: Crc32Of(b, Crc32Of(a)) == Crc32Of(a + b), as zlib counts.
uint32_t Crc32Of(std::string_view bytes, uint32_t previous = 0);
// Eight upper-case hex digits, as the index and the messages give a CRC-32.
std::string Crc32Text(uint32_t crc);

// Writes every byte of the text; a failing file stream raises with its path and reason.
inline void WriteStr(TStream& stream, const std::string& text) {
  stream.WriteString(text);
}
// Folds the text into the register, then writes it. The run takes a chunk's checksum from
// its bytes when it is closed instead, and never calls this.
inline void WriteStrCrc(TStream& stream, const std::string& text, uint32_t& crc) {
  CrcUpdate(crc, text);
  WriteStr(stream, text);
}

}  // namespace voltrane
