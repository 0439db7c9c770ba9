#pragma once

#include <cstdint>
#include <string>

namespace voltrane {

// A file name that every extractor writes where it belongs and every reader of the index
// can hold: control bytes, / \ : * ? " < > |, bytes that are not UTF-8 and characters XML
// forbids each become "_". "..\evil.gpx" gives ".._evil.gpx", "caf\xE9.gpx" "caf_.gpx".
std::string PortableFileName(const std::string& name);

// The file name of chunk number n of a source file: its name with the extension replaced
// by "_" + n with at least four digits + ".gpx" (caches.gpx, 12 -> caches_0012.gpx), made
// portable.
std::string ChunkFileName(const std::string& sourcePath, int32_t chunkNumber);

}  // namespace voltrane
