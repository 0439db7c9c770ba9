#pragma once

#include <cstdint>
#include <string>

namespace voltrane {

// The file name of chunk number n of a source file: its name with the extension replaced
// by "_" + n with at least four digits + ".gpx" (caches.gpx, 12 -> caches_0012.gpx).
std::string ChunkFileName(const std::string& sourcePath, int32_t chunkNumber);

}  // namespace voltrane
