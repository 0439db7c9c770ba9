#pragma once

#include <cstdint>
#include <string>

#include "ggz/BuildState.h"
#include "rt/Exception.h"

namespace voltrane {

// A chunk is closed before a waypoint would take it past this many bytes.
inline constexpr int64_t kChunkSizeLimit = 4500000;
inline constexpr char kChunkClosing[] = "\r\n</gpx>\r\n";

// A source in a character encoding that the splitter cannot read (UTF-16, UTF-32).
VOLTRANE_ERROR_KIND(EEncodingError, Exception);
// A ZIP source that cannot be read: no directory, no GPX member, a member that is
// encrypted, ZIP64 or packed by another method than stored or deflated.
VOLTRANE_ERROR_KIND(EZipSourceError, Exception);
// A source whose text before its first waypoint would not fit in a chunk.
VOLTRANE_ERROR_KIND(EHeaderTooLongError, Exception);

// Re-cuts the waypoints of one source file into chunks and lists each chunk in the index. A
// file that starts as a ZIP archive is read as the GPX members it holds.
void SplitGpxFile(TBuildState& state, const std::string& sourcePath);

}  // namespace voltrane
