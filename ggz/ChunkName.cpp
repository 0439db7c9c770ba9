#include "ggz/ChunkName.h"

#include <cstdio>

#include "rt/Path.h"

namespace voltrane {

std::string ChunkFileName(const std::string& sourcePath, int32_t chunkNumber) {
  std::string name = ExtractFileName(sourcePath);
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "_%.4d.gpx", int(chunkNumber));
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name + suffix;
}

}  // namespace voltrane
