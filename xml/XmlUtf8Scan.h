// The fast part of the canonical UTF-8 check, where the processor has the instructions.
#pragma once

#include <cstddef>

namespace voltrane {

// A sequence start up to which text is canonical UTF-8 (as CanonicalUtf8Length defines it),
// found sixteen bytes at a time; 0 where the processor cannot. The byte-wise check goes on
// from there.
size_t CanonicalUtf8Scan(const unsigned char* text, size_t count);

}  // namespace voltrane
