// What one build holds for its whole run: its own folder, where the index and the closed
// chunks go, and the chunk names given out so far.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "rt/Console.h"
#include "rt/Stream.h"

namespace voltrane {

struct TBuildState {
  explicit TBuildState(TConsole& console) : Console(console) {}

  TConsole& Console;
  // This run's own folder beside the destination (ends with "/"): files that wait there
  // (records of a huge chunk, a large index's deflate data) and the archive until it is
  // committed.
  std::string WorkDir;
  // Where the index is written; owned by whoever set it.
  TStream* IndexStream = nullptr;
  // Takes every chunk once it is complete: its file name, its bytes and their CRC-32.
  std::function<void(const std::string& chunkName, std::string&& bytes, uint32_t crc)>
      OnChunkClosed;

  // Where the records of a chunk with very many waypoints wait until the chunk is closed.
  std::string RecordsSpillPath() const { return WorkDir + "records.part"; }

  // Chunk names are the source's portable name without its extension plus a number. The first
  // source keeps its name; a later one whose name without extension was used already
  // (ASCII letters compared without case, as a FAT card would) gets "-2", "-3", ...
  // appended to it: caches.gpx and caches.xml give caches_0000.gpx and caches-2_0000.gpx.
  // Returns the name to hand to ChunkFileName for this source.
  std::string ClaimChunkBaseName(const std::string& sourcePath);

 private:
  std::set<std::string> usedStems_;
};

}  // namespace voltrane
