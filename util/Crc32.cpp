#include "util/Crc32.h"

#include <zlib.h>

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#define VOLTRANE_CRC_CLMUL 1
#endif

namespace voltrane {

namespace {

#if VOLTRANE_CRC_CLMUL
#define VOLTRANE_CLMUL __attribute__((target("pclmul,sse4.1")))

VOLTRANE_CLMUL inline __m128i Load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The lane times x^n (both halves), added to what follows it n bits later.
VOLTRANE_CLMUL inline __m128i Fold(__m128i lane, __m128i k, __m128i next) {
  __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
  __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Carry-less multiplication folds 64 bytes per step into four 128-bit lanes, then the lanes
// into 64 bits, and a Barrett reduction takes them to the 32-bit register: several times
// the speed of table steps, for the chunks' checksums. size is at least 64 and a multiple
// of 16; crc is the running register (not complemented).
VOLTRANE_CLMUL uint32_t CrcFold(const uint8_t* data, size_t size, uint32_t crc) {
  // x^(4*128+32), x^(4*128-32), x^(128+32), x^(128-32), x^64 mod P, then P and mu for the
  // reduction, all bit-reflected, for P = 0x104C11DB7.
  alignas(16) static const uint64_t kFold4[] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static const uint64_t kFold1[] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static const uint64_t kFold64[] = {0x0163cd6124, 0};
  alignas(16) static const uint64_t kBarrett[] = {0x01db710641, 0x01f7011641};
  __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(int(crc)));
  __m128i x2 = Load(data + 16), x3 = Load(data + 32), x4 = Load(data + 48);
  data += 64;
  size -= 64;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold4));
  for (; size >= 64; data += 64, size -= 64) {
    x1 = Fold(x1, k, Load(data));
    x2 = Fold(x2, k, Load(data + 16));
    x3 = Fold(x3, k, Load(data + 32));
    x4 = Fold(x4, k, Load(data + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold1));
  x1 = Fold(x1, k, x2);
  x1 = Fold(x1, k, x3);
  x1 = Fold(x1, k, x4);
  for (; size >= 16; data += 16, size -= 16) x1 = Fold(x1, k, Load(data));

  // 128 bits to 64, to 32 with the reduction.
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x2 = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), x2);
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask32), k, 0x00);
  return uint32_t(_mm_extract_epi32(_mm_xor_si128(x1, x2), 1));
}

const bool kHasClmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
#endif

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
#if VOLTRANE_CRC_CLMUL
  if (kHasClmul && size >= 64) {
    size_t folded = size & ~size_t(15);
    crc = CrcFold(reinterpret_cast<const uint8_t*>(data), folded, crc);
    data += folded;
    size -= folded;
  }
#endif
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

}  // namespace voltrane
