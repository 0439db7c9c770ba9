// What the GGZ index holds for a chunk (its time masked as TIME) and for a waypoint.
#pragma once

#include <cstdint>
#include <string>

namespace voltrane::test {

// The values of a record; the defaults are those of a waypoint without cache data.
struct TRecordValues {
  std::string code, name, type, lat, lon;
  int64_t pos = 0, len = 0;
  std::string difficulty = "0.0", size = "1.0", terrain = "0.0", found = "false";
};

inline std::string Record(const TRecordValues& e) {
  return "      <gch>\r\n         <code>" + e.code + "</code>\r\n         <name>" + e.name +
         "</name>\r\n         <type>" + e.type + "</type>\r\n         <lat>" + e.lat +
         "</lat>\r\n         <lon>" + e.lon + "</lon>\r\n         <file_pos>" +
         std::to_string(e.pos) + "</file_pos>\r\n         <file_len>" + std::to_string(e.len) +
         "</file_len>\r\n         <ratings>\r\n            <awesomeness>3.0</awesomeness>\r\n" +
         "            <difficulty>" + e.difficulty + "</difficulty>\r\n            <size>" +
         e.size + "</size>\r\n            <terrain>" + e.terrain +
         "</terrain>\r\n         </ratings>\r\n" + "         <found>" + e.found +
         "</found>\r\n      </gch>\r\n";
}

inline std::string FileElement(const std::string& name, const std::string& crc,
                               const std::string& records = "") {
  return "   <file>\r\n     <name>" + name + "</name>\r\n     <crc>" + crc +
         "</crc>\r\n     <time>TIME</time>\r\n" + records + "   </file>\r\n";
}

}  // namespace voltrane::test
