// Finding the end of central directory record from the end of a stream.
#pragma once

#include <cstdint>

#include "rt/Stream.h"

namespace voltrane {

// Position of the last "PK", 5, 6 at most 22 + 1,024 + 65,535 bytes before the end (room
// for the longest comment), or -1. Searches backwards in growing windows so that the usual
// archive without comment costs one small read.
int64_t SearchEndRecord(TStream& stream);

}  // namespace voltrane
