// Everything a build does but deflate and zip: the split of one source into chunk files
// and the index around it, timed.
#pragma once

#include <cstdint>
#include <string>

#include "ggz/BuildState.h"

namespace voltrane {

struct TSplitOnlyFigures {
  double Seconds = 0;  // index header, split and index footer, through closing the index
  int64_t SourceBytes = 0;
  int64_t Waypoints = 0;
  int64_t Chunks = 0;
  int64_t IndexBytes = 0;
};

// Splits the source in a fresh folder made inside workFolder (created when missing), which
// takes index.xml; the chunks are dropped as they close, where a run hands them to the
// archive. The folder never outlives the call.
TSplitOnlyFigures RunSplitOnly(const std::string& sourcePath, const std::string& workFolder);

}  // namespace voltrane
