// voltrane_gengpx: writes a deterministic pocket-query-like GPX file of a chosen size.
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "bench/GpxGenerator.h"
#include "bench/ToolSupport.h"
#include "rt/Path.h"
#include "rt/Stream.h"

using namespace voltrane;

namespace {

void Generate(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  TGpxGeneratorOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    bool valued = args[i] == "--seed" || args[i] == "--track-mb";
    if (valued && i + 1 == args.size()) throw EBenchUsageError(args[i] + " needs a value");
    if (args[i] == "--seed")
      options.Seed = ParseCount(args[++i], "the seed", 0);
    else if (args[i] == "--track-mb")
      options.TrackBytes = ParseMegabytes(args[++i], "the track size");
    else
      positional.push_back(args[i]);
  }
  if (positional.size() != 2) throw EBenchUsageError("expected a size and an output file");
  options.WaypointBytes = ParseMegabytes(positional[0], "the size");
  if (options.WaypointBytes == 0) throw EBenchUsageError("the size must be above 0");

  // Written under a temporary name and renamed when complete, so a cached input is never
  // a truncated one.
  const std::string output = ExpandFileName(positional[1]);
  std::unique_ptr<TFileStream> file = TFileStream::CreateUnique(output + ".part-");
  const std::string part = file->Path();
  try {
    TGpxGeneratorTotals totals = GenerateGpx(*file, options);
    file->Close();
    if (::rename(part.c_str(), output.c_str()) != 0) throw EFCreateError(output, errno);
    printf("%s: %lld bytes, %lld caches, %lld child waypoints, %lld track points\n", output.c_str(),
           (long long)totals.Bytes, (long long)totals.Caches, (long long)totals.ChildWaypoints,
           (long long)totals.TrackPoints);
  } catch (...) {
    file.reset();
    ::unlink(part.c_str());
    throw;
  }
}

}  // namespace

int main(int argc, char** argv) {
  return RunTool("voltrane_gengpx",
                 "voltrane_gengpx <size-in-MB> <output.gpx> [--seed N] [--track-mb M]",
                 [&] { Generate(std::vector<std::string>(argv + 1, argv + argc)); });
}
