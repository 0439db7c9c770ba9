// A check of UTF-8 sixteen bytes at a time (the table method of Keiser and Lemire): every
// pair of neighbouring bytes is classified through three 16-entry tables, and the bytes
// that must be third or fourth of a sequence are checked apart. It finds what the byte-wise
// check finds: overlong forms, surrogates, values past U+10FFFF, stray, missing and extra
// continuation bytes.
#include "xml/XmlUtf8Scan.h"

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VOLTRANE_UTF8_SCAN_SSSE3 1
#endif

namespace voltrane {

#ifdef VOLTRANE_UTF8_SCAN_SSSE3

namespace {

// The error kinds a pair of bytes can show; a pair is wrong when all three tables agree.
constexpr uint8_t kTooShort = 1 << 0;   // a lead byte not followed by a continuation byte
constexpr uint8_t kTooLong = 1 << 1;    // ASCII followed by a continuation byte
constexpr uint8_t kOverlong3 = 1 << 2;  // E0 80..9F
constexpr uint8_t kTooLarge = 1 << 3;   // F4 90..BF, F5..FF
constexpr uint8_t kSurrogate = 1 << 4;  // ED A0..BF
constexpr uint8_t kOverlong2 = 1 << 5;  // C0, C1
constexpr uint8_t kTooLarge1000 = 1 << 6;
constexpr uint8_t kOverlong4 = 1 << 6;  // F0 80..8F
constexpr uint8_t kTwoConts = 1 << 7;   // a continuation byte where none may follow
constexpr uint8_t kCarry = kTooShort | kTooLong | kTwoConts;

// By the high half of the first byte of a pair.
constexpr uint8_t kByte1High[16] = {kTooLong,
                                    kTooLong,
                                    kTooLong,
                                    kTooLong,
                                    kTooLong,
                                    kTooLong,
                                    kTooLong,
                                    kTooLong,
                                    kTwoConts,
                                    kTwoConts,
                                    kTwoConts,
                                    kTwoConts,
                                    kTooShort | kOverlong2,
                                    kTooShort,
                                    kTooShort | kOverlong3 | kSurrogate,
                                    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};
// By its low half.
constexpr uint8_t kLarge = kCarry | kTooLarge | kTooLarge1000;
constexpr uint8_t kByte1Low[16] = {kCarry | kOverlong3 | kOverlong2 | kOverlong4,
                                   kCarry | kOverlong2,
                                   kCarry,
                                   kCarry,
                                   kCarry | kTooLarge,
                                   kLarge,
                                   kLarge,
                                   kLarge,
                                   kLarge,
                                   kLarge,
                                   kLarge,
                                   kLarge,
                                   kLarge,
                                   kLarge | kSurrogate,
                                   kLarge,
                                   kLarge};
// By the high half of the second byte.
constexpr uint8_t kContinuation = kTooLong | kOverlong2 | kTwoConts;
constexpr uint8_t kByte2High[16] = {kTooShort,
                                    kTooShort,
                                    kTooShort,
                                    kTooShort,
                                    kTooShort,
                                    kTooShort,
                                    kTooShort,
                                    kTooShort,
                                    kContinuation | kOverlong3 | kTooLarge1000 | kOverlong4,
                                    kContinuation | kOverlong3 | kTooLarge,
                                    kContinuation | kSurrogate | kTooLarge,
                                    kContinuation | kSurrogate | kTooLarge,
                                    kTooShort,
                                    kTooShort,
                                    kTooShort,
                                    kTooShort};
__attribute__((target("ssse3"))) inline __m128i Load(const uint8_t (&bytes)[16]) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

__attribute__((target("ssse3"))) inline __m128i Lookup(__m128i table, __m128i nibbles) {
  return _mm_shuffle_epi8(table, nibbles);
}

struct TTables {
  __m128i Byte1High, Byte1Low, Byte2High;
};

// The wrong bytes of a chunk, given the chunk before it; the check holds for ASCII too.
__attribute__((target("ssse3"))) inline __m128i ChunkErrors(const TTables& t, __m128i input,
                                                            __m128i previous) {
  const __m128i low4 = _mm_set1_epi8(0x0F);
  __m128i prev1 = _mm_alignr_epi8(input, previous, 15);
  __m128i special = _mm_and_si128(
      _mm_and_si128(Lookup(t.Byte1High, _mm_and_si128(_mm_srli_epi16(prev1, 4), low4)),
                    Lookup(t.Byte1Low, _mm_and_si128(prev1, low4))),
      Lookup(t.Byte2High, _mm_and_si128(_mm_srli_epi16(input, 4), low4)));
  __m128i prev2 = _mm_alignr_epi8(input, previous, 14);
  __m128i prev3 = _mm_alignr_epi8(input, previous, 13);
  __m128i third = _mm_subs_epu8(prev2, _mm_set1_epi8(char(0xE0 - 0x80)));
  __m128i fourth = _mm_subs_epu8(prev3, _mm_set1_epi8(char(0xF0 - 0x80)));
  __m128i must23 = _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(char(0x80)));
  return _mm_xor_si128(must23, special);
}

__attribute__((target("ssse3"))) inline __m128i Chunk(const unsigned char* s, size_t i) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
}

__attribute__((target("ssse3"))) inline bool Clean(__m128i errors) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(errors, _mm_setzero_si128())) == 0xFFFF;
}

__attribute__((target("ssse3"))) size_t Scan(const unsigned char* s, size_t count) {
  const TTables t{Load(kByte1High), Load(kByte1Low), Load(kByte2High)};
  __m128i previous = _mm_setzero_si128();
  size_t i = 0;
  // Four chunks at a time without a branch between them; the chunk-wise loop below finds
  // the first wrong chunk of a group, or takes the chunks that are left.
  for (; i + 64 <= count; i += 64) {
    __m128i a = Chunk(s, i), b = Chunk(s, i + 16), c = Chunk(s, i + 32), d = Chunk(s, i + 48);
    __m128i errors = _mm_or_si128(_mm_or_si128(ChunkErrors(t, a, previous), ChunkErrors(t, b, a)),
                                  _mm_or_si128(ChunkErrors(t, c, b), ChunkErrors(t, d, c)));
    if (!Clean(errors)) break;
    previous = d;
  }
  for (; i + 16 <= count; i += 16) {
    __m128i input = Chunk(s, i);
    if (!Clean(ChunkErrors(t, input, previous))) break;
    previous = input;
  }
  // Everything before the chunk at i is canonical but for a sequence it may have left open:
  // the check goes on from that sequence's lead byte, at most three bytes back.
  for (size_t back = 1; back <= 3 && back <= i; ++back)
    if (s[i - back] >= 0xC0) return i - back;
  return i;
}

bool HasSsse3() {
  // The feature test is made ready first, in case a load runs before the static constructors.
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
  return has;
}

}  // namespace

size_t CanonicalUtf8Scan(const unsigned char* text, size_t count) {
  return count >= 16 && HasSsse3() ? Scan(text, count) : 0;
}

#else

size_t CanonicalUtf8Scan(const unsigned char*, size_t) {
  return 0;
}

#endif

}  // namespace voltrane
