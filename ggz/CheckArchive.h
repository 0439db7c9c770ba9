// Whether a device can use a GGZ file, whoever wrote it: the ZIP structure, the index, and
// every record against the waypoint it points at. Reads the file member by member, with
// memory bounded by the largest chunk; writes nothing.
#pragma once

#include <cstdint>
#include <string>

#include "rt/Console.h"

namespace voltrane {

struct TCheckSummary {
  int64_t Problems = 0;  // a file that cannot be read at all counts as one
  int64_t Chunks = 0;
  int64_t Caches = 0;
};

// At most this many problems are shown; a count of the rest follows.
inline constexpr int64_t kShownProblems = 50;

// Prints one line per problem (the member, the byte or record, what is wrong) and per
// warning, then "OK: 14 chunks, 468 caches" or "3 problems in 14 chunks, 468 caches".
TCheckSummary CheckGgzFile(const std::string& path, TConsole& console);

}  // namespace voltrane
