// The tag scanner and the splitter on arbitrary source bytes.
#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ggz/BuildState.h"
#include "ggz/SplitGpxFile.h"
#include "rt/Exception.h"
#include "rt/Path.h"

using namespace voltrane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& scratch = fuzz::ScratchFolder();
  std::string tree = scratch + "tree/";
  fuzz::RemoveTreeContents(tree);
  ForceDirectories(tree);
  {
    TFileStream source(scratch + "source.gpx", TFileMode::Create);
    source.WriteBuffer(data, int64_t(size));
  }
  TStringConsole console;
  TBuildState state(console);
  state.WorkDir = tree;
  TFileStream index(tree + "index.xml", TFileMode::Create);
  state.IndexStream = &index;
  try {
    SplitGpxFile(state, scratch + "source.gpx");
  } catch (const Exception&) {
    // A waypoint the record builder cannot parse ends the run with an error: fine here.
  }
  return 0;
}
