// Everything a build does but deflate and zip: the split of one source into chunk files
// and the index around it, timed.
#pragma once

#include <cstdint>
#include <functional>
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

// Splits the source into a fresh working tree made inside workFolder (created when
// missing): data/ for the chunks and index.xml beside it. inspect, when given, sees the
// state before the tree is removed again; the tree never outlives the call.
TSplitOnlyFigures RunSplitOnly(const std::string& sourcePath, const std::string& workFolder,
                               const std::function<void(const TBuildState&)>& inspect = {});

}  // namespace voltrane
