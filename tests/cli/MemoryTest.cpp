// Memory stays bounded whatever the source size: a 300 MB pocket query, with a track after
// its waypoints, in less than 64 MiB.
#ifdef VOLTRANE_BENCH_KIT  // the generator comes with the benchmark kit

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "bench/GpxGenerator.h"

namespace voltrane {
namespace {

TEST(Memory, PeakResidentSizeStaysUnder64MiBFor300MB) {
  test::TTempFolder dir;
  {
    TFileStream source(dir / "big.gpx", TFileMode::Create);
    GenerateGpx(source, {300000000, 50000000, 7});
  }
  test::TProcessResult run =
      test::RunProcess({test::VoltraneExe(), dir / "big.gpx", dir / "big.ggz"});
  ASSERT_EQ(run.ExitCode, 0) << run.Output.substr(
      run.Output.size() > 2000 ? run.Output.size() - 2000 : 0);
  EXPECT_LT(run.PeakResidentKiB, 64 * 1024);
  EXPECT_EQ(test::RunProcess({"/usr/bin/unzip", "-tq", dir / "big.ggz"}).ExitCode, 0);
}

}  // namespace
}  // namespace voltrane

#endif
