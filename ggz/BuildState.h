// What one build holds for its whole run: the working tree's paths, the open index and
// the chunk names given out so far.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "rt/Console.h"
#include "rt/Stream.h"

namespace voltrane {

struct TBuildState {
  explicit TBuildState(TConsole& console) : Console(console) {}

  TConsole& Console;
  std::string WorkDir;        // this run's own folder beside the destination, ends with "/"
  std::string TempDir;        // WorkDir + "tree/": the tree that becomes the archive
  std::string SpillDir;       // WorkDir + "deflate/": deflated members waiting to be zipped
  std::string DataDir;        // TempDir + "data/"
  std::string IndexDir;       // TempDir + "index/com/garmin/geocaches/v0/"
  std::string IndexFileName;  // IndexDir + "index.xml"
  std::unique_ptr<TFileStream> IndexStream;
  // Called once a chunk file is complete and closed (when assigned), with its full path,
  // its bytes (the callee may keep them) and their final CRC-32. Returns a buffer for the
  // next chunk to fill (only its capacity counts), or an empty string.
  std::function<std::string(const std::string& chunkPath, std::string&& bytes, uint32_t crc)>
      OnChunkClosed;

  // Where the records of a chunk with very many waypoints wait until the chunk is closed:
  // in the run's own folder, outside the tree that is zipped.
  std::string RecordsSpillPath() const;

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
