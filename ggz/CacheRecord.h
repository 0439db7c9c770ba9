#pragma once

#include <cstdint>
#include <string>

namespace voltrane {

// The index's gch record of one waypoint, given its text as written to its chunk and
// where it lies there.
std::string BuildCacheRecord(const std::string& waypoint, int64_t filePos, int64_t fileLen);

}  // namespace voltrane
