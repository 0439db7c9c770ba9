// Memory stays bounded whatever the source size and shape: each run stays under 64 MiB of
// peak resident size.
#include <gtest/gtest.h>

#include "RunChecks.h"
#include "TestSupport.h"
#include "rt/Path.h"
#include "rt/Stream.h"
#ifdef VOLTRANE_BENCH_KIT  // the generator comes with the benchmark kit
#include "bench/GpxGenerator.h"
#endif

extern "C" int __asan_address_is_poisoned(void const volatile* address) __attribute__((weak));

namespace voltrane {
namespace {

// head, then repeat copies of piece, then tail, written without holding the whole file.
void WriteRepeated(const std::string& path, const std::string& head, const std::string& piece,
                   int64_t repeat, const std::string& tail) {
  TFileStream file(path, TFileMode::Create);
  file.WriteString(head);
  std::string block;
  for (int64_t k = 0; k < repeat; ++k) {
    block += piece;
    if (block.size() >= (1 << 20) || k + 1 == repeat) {
      file.WriteString(block);
      block.clear();
    }
  }
  file.WriteString(tail);
}

TEST(Memory, PeakResidentSizeStaysUnder64MiBForUnusualShapes) {
  // The sanitizer's own memory would be measured, and its slowness would make the runs long.
  if (__asan_address_is_poisoned != nullptr) GTEST_SKIP() << "built with AddressSanitizer";
  std::string point = "<trkpt lat=\"50.123456\" lon=\"14.123456\"><ele>200</ele></trkpt>\r\n";
  std::string cache =
      test::Waypoint("GC1", "<desc>" + test::Letters(3000, 1) + "</desc><sym>Geocache</sym>");
  struct {
    const char* shape;
    std::string head, piece;
    int64_t repeat;
    std::string tail;
    const char* processed;  // the waypoints counted, or nullptr when there are none
  } rows[] = {
      {"60 MB track before 300 caches", test::kGpxHeader + "<trk><trkseg>\r\n", point,
       60000000 / int64_t(point.size()),
       "</trkseg></trk>\r\n" +
           [&] {
             std::string caches;
             for (int k = 0; k < 300; ++k) caches += cache;
             return caches + "</gpx>\r\n";
           }(),
       "Processed waypoints: 300"},
      {"500 MB without waypoints", test::kGpxHeader + "<trk><trkseg>\r\n", point,
       500000000 / int64_t(point.size()), "</trkseg></trk>\r\n</gpx>\r\n", nullptr},
      {"400,000 tiny waypoints", test::kGpxHeader, "<wpt lat=\"1\" lon=\"2\"></wpt>", 400000,
       "</gpx>\r\n", "Processed waypoints: 400000"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shape);
    test::TTempFolder dir;
    WriteRepeated(dir / "in.gpx", row.head, row.piece, row.repeat, row.tail);
    ForceDirectories(dir / "out/");
    test::TTreeSnapshot before = test::SnapshotTree(dir / "out/");
    test::TProcessResult run =
        test::RunProcess({test::VoltraneExe(), dir / "in.gpx", dir / "out/o.ggz"});
    ASSERT_EQ(run.ExitCode, 0) << run.Output.substr(0, 2000);
    EXPECT_LT(run.PeakResidentKiB, 64 * 1024);
    EXPECT_EQ(row.processed != nullptr,
              run.Output.find(row.processed ? row.processed : "Processed") != std::string::npos);
    test::ExpectOnlyArchiveChanged(before, dir / "out/", "o.ggz");
  }
}

#ifdef VOLTRANE_BENCH_KIT

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

#endif

}  // namespace
}  // namespace voltrane
