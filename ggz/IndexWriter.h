// The index document index/com/garmin/geocaches/v0/index.xml, written byte for byte by
// appending: header, one file entry per closed chunk, footer.
#pragma once

#include <cstdint>
#include <string>

#include "rt/DateTime.h"
#include "rt/Stream.h"

namespace voltrane {

inline constexpr char kGgzNamespace[] = "http://www.opencaching.com/xmlschemas/ggz/1/0";
// Where the archive holds the chunks and the index.
inline constexpr char kDataFolder[] = "data/";
inline constexpr char kIndexMemberName[] = "index/com/garmin/geocaches/v0/index.xml";

// yyyy-mm-ddThh:nn:ss.zzz, every field zero-padded (the "Z" is the caller's).
std::string FormatIndexTimestamp(TDateTime utc);

void WriteIndexHeader(TStream& index);
// The chunk's time is the present moment in UTC: a chunk is listed when it is complete, as
// its member in the archive is stamped.
void WriteFileEntry(TStream& index, const std::string& chunkName, const std::string& records,
                    uint32_t crc);
// The same in two halves, for records that the caller writes in between itself (records too
// many to hold in memory).
void WriteFileEntryHead(TStream& index, const std::string& chunkName, uint32_t crc);
void WriteFileEntryEnd(TStream& index);
void WriteIndexFooter(TStream& index);

}  // namespace voltrane
