// The index document index/com/garmin/geocaches/v0/index.xml, written byte for byte by
// appending: header, one file entry per closed chunk, footer.
#pragma once

#include <cstdint>
#include <string>

#include "rt/DateTime.h"
#include "rt/Stream.h"

namespace voltrane {

inline constexpr char kGgzNamespace[] = "http://www.opencaching.com/xmlschemas/ggz/1/0";

// yyyy-mm-ddThh:nn:ss.zzz, every field zero-padded (the "Z" is the caller's).
std::string FormatIndexTimestamp(TDateTime utc);

void WriteIndexHeader(TStream& index);
// The chunk's time is its file's last modification in UTC, read from dataDir + chunkName.
void WriteFileEntry(TStream& index, const std::string& dataDir, const std::string& chunkName,
                    const std::string& records, uint32_t crc);
// The same in two halves, for records that the caller writes in between itself (records too
// many to hold in memory).
void WriteFileEntryHead(TStream& index, const std::string& dataDir, const std::string& chunkName,
                        uint32_t crc);
void WriteFileEntryEnd(TStream& index);
void WriteIndexFooter(TStream& index);

}  // namespace voltrane
