// voltrane_floor: the deflate work that a build of this source cannot avoid, timed.
#include <cstdio>

#include "bench/PieceDeflate.h"
#include "bench/ToolSupport.h"
#include "rt/Path.h"

using namespace voltrane;

int main(int argc, char** argv) {
  return RunTool("voltrane_floor", "voltrane_floor <file.gpx>", [&] {
    if (argc != 2) throw EBenchUsageError("expected one file");
    TFileStream source(ExpandFileName(argv[1]), TFileMode::OpenRead);
    TDeflateFloor floor = DeflateInPieces(source, kFloorPieceBytes);
    printf("deflate_s %.6f\nsource_bytes %lld\npieces %lld\ncompressed_bytes %lld\n",
           floor.DeflateSeconds, (long long)floor.SourceBytes, (long long)floor.Pieces,
           (long long)floor.CompressedBytes);
  });
}
