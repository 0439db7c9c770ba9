// voltrane_recordbench: times the index record of every waypoint of a source, nothing else.
// The waypoints are cut out into memory first, so neither reading nor writing is timed.
// Figures are medians over the passes; wall time and the thread's CPU time are both shown,
// as the second one barely moves when other work shares the machine.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench/ToolSupport.h"
#include "ggz/CacheRecord.h"
#include "rt/Stream.h"

using namespace voltrane;

namespace {

struct TWaypoints {
  std::string Encoding;
  std::vector<std::string> Texts;
  int64_t Bytes = 0;
};

// "<wpt" followed by a blank or ">" through the next "</wpt>": the generator's waypoints,
// which is all this tool is for.
TWaypoints CutWaypoints(const std::string& source) {
  TWaypoints result;
  size_t at = 0;
  bool first = true;
  while ((at = source.find("<wpt", at)) != std::string::npos) {
    char next = at + 4 < source.size() ? source[at + 4] : '\0';
    if (next != ' ' && next != '>' && next != '\r' && next != '\n' && next != '\t') {
      at += 4;
      continue;
    }
    size_t end = source.find("</wpt>", at);
    if (end == std::string::npos) break;
    if (first) result.Encoding = SourceEncoding(source.substr(0, at));
    first = false;
    end += 6;
    result.Texts.push_back(source.substr(at, end - at));
    result.Bytes += int64_t(end - at);
    at = end;
  }
  if (first) result.Encoding = "utf-8";
  return result;
}

// The CPU time of this thread: what the machine's other work does not add to.
double ThreadCpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// FNV-1a over the records, so that two builds can be checked to write the same bytes.
uint64_t Fnv1a(uint64_t hash, const std::string& text) {
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3u;
  return hash;
}

}  // namespace

int main(int argc, char** argv) {
  return RunTool("voltrane_recordbench", "voltrane_recordbench <source.gpx> [passes]", [&] {
    if (argc != 2 && argc != 3) throw EBenchUsageError("expected a source file");
    int passes = argc == 3 ? int(ParseCount(argv[2], "passes", 1)) : 3;
    TWaypoints waypoints = [&] {
      TFileStream file(argv[1], TFileMode::OpenRead);
      return CutWaypoints(file.ReadRest());
    }();
    if (waypoints.Texts.empty()) throw EBenchError("no waypoint in " + std::string(argv[1]));

    using TClock = std::chrono::steady_clock;
    std::vector<double> seconds, cpuSeconds;
    uint64_t hash = 0xcbf29ce484222325u;
    int64_t recordBytes = 0;
    // The records go one after the other into one string, as the splitter collects a chunk's.
    std::string records;
    for (int pass = 0; pass < passes; ++pass) {
      records.clear();
      int64_t position = 0;
      TClock::time_point start = TClock::now();
      double cpuStart = ThreadCpuSeconds();
      TCacheRecordBuilder builder;  // one per source, as the splitter keeps it
      for (const std::string& text : waypoints.Texts) {
        int64_t length = int64_t(text.size());
        records += builder.Build(text, position, length, waypoints.Encoding);
        position += length;
      }
      seconds.push_back(std::chrono::duration<double>(TClock::now() - start).count());
      cpuSeconds.push_back(ThreadCpuSeconds() - cpuStart);
    }
    // Checked outside the timing: the hash of all records and their size.
    hash = Fnv1a(hash, records);
    recordBytes = int64_t(records.size());
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpuSeconds.begin(), cpuSeconds.end());
    double median = seconds[seconds.size() / 2], cpuMedian = cpuSeconds[cpuSeconds.size() / 2];
    double count = double(waypoints.Texts.size());
    printf(
        "waypoints %zu\nwaypoint_bytes %lld\nencoding %s\npasses %d\nmedian_s %.6f\n"
        "records_per_s %.0f\nMB_per_s %.1f\nns_per_waypoint %.0f\ncpu_ns_per_waypoint %.0f\n"
        "record_bytes %lld\n"
        "record_hash %016llx\n",
        waypoints.Texts.size(), (long long)waypoints.Bytes, waypoints.Encoding.c_str(), passes,
        median, count / median, double(waypoints.Bytes) / 1e6 / median, median * 1e9 / count,
        cpuMedian * 1e9 / count, (long long)recordBytes, (unsigned long long)hash);
  });
}
