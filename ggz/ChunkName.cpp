#include "ggz/ChunkName.h"

#include <cstdio>
#include <string_view>

#include "rt/Path.h"
#include "util/XmlSafeText.h"

namespace voltrane {

namespace {

// Separators lead out of the member's folder, ":" makes alternate data streams on Windows,
// and the rest no Windows file name may hold.
bool UnsafeInFileName(char32_t c) {
  return c < 0x20 || c == 0x7F ||
         std::u32string_view(U"/\\:*?\"<>|").find(c) != std::u32string_view::npos;
}

}  // namespace

std::string PortableFileName(const std::string& name) {
  return ReplaceUnsafeChars(name, "_", UnsafeInFileName);
}

std::string ChunkFileName(const std::string& sourcePath, int32_t chunkNumber) {
  std::string name = ExtractFileName(sourcePath);
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "_%.4d.gpx", int(chunkNumber));
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return PortableFileName(name + suffix);
}

}  // namespace voltrane
