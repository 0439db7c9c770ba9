// voltrane_splitonly: times the split of one source and its index, without zipping.
#include <cstdio>

#include "bench/SplitOnlyRun.h"
#include "bench/ToolSupport.h"

using namespace voltrane;

int main(int argc, char** argv) {
  return RunTool("voltrane_splitonly", "voltrane_splitonly <source.gpx> <work-folder>", [&] {
    if (argc != 3) throw EBenchUsageError("expected a source file and a work folder");
    TSplitOnlyFigures f = RunSplitOnly(argv[1], argv[2]);
    printf(
        "split_s %.6f\nsource_bytes %lld\nwaypoints %lld\nchunks %lld\nindex_bytes %lld\n"
        "MB_per_s %.1f\n",
        f.Seconds, (long long)f.SourceBytes, (long long)f.Waypoints, (long long)f.Chunks,
        (long long)f.IndexBytes, f.Seconds > 0 ? double(f.SourceBytes) / 1e6 / f.Seconds : 0.0);
  });
}
