// Small GPX sources for the end-to-end tests.
#pragma once

#include <random>
#include <string>

namespace voltrane::test {

inline const std::string kGpxHeader = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<gpx>\r\n";

inline std::string Gpx(const std::string& waypoints) {
  return kGpxHeader + waypoints + "</gpx>\r\n";
}

inline std::string Waypoint(const std::string& code, const std::string& body = "") {
  return "<wpt lat=\"1\" lon=\"2\"><name>" + code + "</name>" + body + "</wpt>\r\n";
}

// Random letters, the same for the same seed: text that deflate cannot shrink much.
inline std::string Letters(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(size, ' ');
  for (char& c : text) c = char('a' + random() % 26);
  return text;
}

}  // namespace voltrane::test
