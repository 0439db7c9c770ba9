// Pocket-query-like GPX for the benchmarks. The same options give the same bytes on every
// machine: the generator has its own random source and formats numbers from integers only.
#pragma once

#include <cstdint>

#include "rt/Stream.h"

namespace voltrane {

// Bounds of one cache's wpt element, from "<wpt" through "</wpt>", in bytes.
inline constexpr int64_t kMinCacheBytes = 2048;
inline constexpr int64_t kMaxCacheBytes = 8000;

struct TGpxGeneratorOptions {
  // Waypoints are written until the document (header included) reaches this many bytes;
  // the last one may end past it.
  int64_t WaypointBytes = 0;
  // A track of at least this many bytes after the waypoints; 0 for none.
  int64_t TrackBytes = 0;
  uint64_t Seed = 1;
};

struct TGpxGeneratorTotals {
  int64_t Caches = 0;
  int64_t ChildWaypoints = 0;  // Parking Area, Stage, ... without cache data
  int64_t TrackPoints = 0;
  int64_t Bytes = 0;
};

// Writes one whole GPX 1.0 document with CRLF line ends to out.
TGpxGeneratorTotals GenerateGpx(TStream& out, const TGpxGeneratorOptions& options);

// splitmix64: tiny, fast, and the same sequence on every platform.
class TSplitMix64 {
 public:
  explicit TSplitMix64(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [0, count).
  uint32_t Below(uint32_t count) { return uint32_t(Next() % count); }
  // A number in [low, high].
  int64_t Between(int64_t low, int64_t high) {
    return low + int64_t(Next() % uint64_t(high - low + 1));
  }
  bool OneIn(uint32_t count) { return Below(count) == 0; }

 private:
  uint64_t state_;
};

}  // namespace voltrane
