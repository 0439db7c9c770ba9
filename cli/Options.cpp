#include "cli/Options.h"

#include "cli/Driver.h"
#include "cli/Version.h"
#include "cli/XFiles.h"

namespace voltrane {

namespace {

const char* const kHelpBody[] = {
    "",
    "Packs the geocache waypoints of the GPX files that the mask selects into one GGZ file:",
    "a ZIP archive of GPX chunk files of at most 4,500,000 bytes, plus an index that tells a",
    "GPS device where each cache's wpt element lies. Quote the mask (\"pq/*.gpx\"); its last",
    "part may hold * and ?. A source that is a ZIP archive (a pocket query as it is",
    "downloaded) is read as the GPX files it holds. The archive replaces the destination",
    "only once it is complete.",
    "",
    "Options, each only as the sole argument:",
    "  -h, --help     print this help and exit",
    "  -V, --version  print the version and exit",
    "",
    "  --check FILE.ggz...",
    "                 check that a device can use each GGZ file, whoever wrote it: the ZIP",
    "                 structure, the index, and every record against its waypoint; one line",
    "                 per problem, then a summary; exit 0 when no file has a problem, 1 when",
    "                 one has, 2 without a file. Nothing is written.",
    "",
    "Exit status of a build:",
    "  0        the archive was built; the destination holds it",
    "  1        an error was reported; the destination is unchanged",
    "  2        wrong arguments: the usage was printed, nothing was read or written",
    "  128+N    stopped by signal N; the destination is unchanged, nothing is left behind",
    "",
    "Environment:",
    "  VOLTRANE_THREADS  deflate worker threads, a whole number from 1 to 256",
    "                    (unset: one per CPU the process may use)",
};

void WriteHelp(TConsole& console) {
  console.WriteLine(BannerLine());
  console.WriteLine("");
  console.WriteLine("Usage:");
  console.WriteLine(UsageLine());
  for (const char* line : kHelpBody) console.WriteLine(line);
}

}  // namespace

std::string BannerLine() {
  return "VOLTRANE - GGZ file generator " + GetExeFileVersion();
}

std::string UsageLine() {
  return std::string(VOLTRANE_EXECUTABLE_NAME) + " <source_gpx_files_mask> <destination_ggz_file>";
}

std::optional<int> RunInformationOption(const std::vector<std::string>& arguments,
                                        TConsole& console) {
  if (arguments.size() != 1) return std::nullopt;
  const std::string& option = arguments[0];
  if (option == "-h" || option == "--help") {
    WriteHelp(console);
    return kExitSuccess;
  }
  if (option == "-V" || option == "--version") {
    console.WriteLine("voltrane " + GetExeFileVersion());
    return kExitSuccess;
  }
  return std::nullopt;
}

}  // namespace voltrane
