// The tag scanner and the splitter on arbitrary source bytes, in a scratch working tree.
#include <cstdint>
#include <string>

#include "FuzzScratch.h"
#include "ggz/BuildState.h"
#include "ggz/SplitGpxFile.h"
#include "rt/Exception.h"
#include "rt/Path.h"
#include "util/DeleteTree.h"

using namespace voltrane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string tree = fuzz::scratch.path + "tree/";
  DeleteTree(tree);
  ForceDirectories(tree);
  {
    TFileStream source(fuzz::scratch.path + "source.gpx", TFileMode::Create);
    source.WriteBuffer(data, int64_t(size));
  }
  TStringConsole console;
  TBuildState state(console);
  state.WorkDir = tree;
  TFileStream index(tree + "index.xml", TFileMode::Create);
  state.IndexStream = &index;
  try {
    SplitGpxFile(state, fuzz::scratch.path + "source.gpx");
  } catch (const Exception&) {
    // A waypoint the record builder cannot parse ends the run with an error: fine here.
  }
  return 0;
}
