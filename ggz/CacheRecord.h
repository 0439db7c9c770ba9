#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "xml/XmlDocument.h"

namespace voltrane {

// Builds the index's gch record of each waypoint, given its text as written to its chunk,
// where it lies there, and the encoding its source declares (the name goes into the
// declaration the waypoint is parsed with, so values reach the index in UTF-8).
// One document, with its name table, parses one waypoint after another: making them anew
// for each waypoint took about a tenth of the split's time.
class TCacheRecordBuilder {
 public:
  TCacheRecordBuilder();
  std::string Build(std::string_view waypoint, int64_t filePos, int64_t fileLen,
                    const std::string& encoding = "utf-8");

 private:
  IXmlDocument document_;
};

// The record of a single waypoint, by a builder of its own.
std::string BuildCacheRecord(std::string_view waypoint, int64_t filePos, int64_t fileLen,
                             const std::string& encoding = "utf-8");

// The line on which the waypoint starts in the text that BuildCacheRecord parses: its
// parse errors count lines from the two lines of wrapping before it.
inline constexpr int64_t kWaypointFirstLine = 3;

// The encoding named by the XML declaration at the head of a chunk header, when the XML
// library knows it; "utf-8" otherwise, and when there is no declaration.
std::string SourceEncoding(const std::string& header);

}  // namespace voltrane
