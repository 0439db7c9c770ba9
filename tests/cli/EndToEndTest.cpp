// The real executable in a temporary folder: transcript, exit statuses, what it leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>
#include <random>

#include <regex>
#include <sstream>

#include "GpxFixtures.h"
#include "TestSupport.h"

namespace voltrane {
namespace {

using test::Gpx;
using test::Letters;
using test::Waypoint;

using test::ListNames;
using test::ReadFile;
using test::TProcessOptions;
using test::TProcessResult;
using test::WriteFile;

const std::string kBanner = "VOLTRANE - GGZ file generator 1.0.0.2\n\n";
const std::string kEmptyArchive("PK\x05\x06" + std::string(18, '\0'));

class EndToEnd : public ::testing::Test {
 protected:
  TProcessResult Run(std::vector<std::string> args, TProcessOptions options = {}) {
    args.insert(args.begin(), test::VoltraneExe());
    if (options.WorkingFolder.empty()) options.WorkingFolder = dir.Path();
    return test::RunProcess(args, options);
  }
  static std::string MaskDuration(const std::string& text) {
    return std::regex_replace(text, std::regex("Duration: \\d+:\\d\\d:\\d\\d\n"), "Duration: D\n");
  }
  test::TTempFolder dir;
};

TEST_F(EndToEnd, FewerThanTwoArgumentsPrintUsageAndExitTwo) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"a.gpx"}}) {
    TProcessResult result = Run(args);
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(result.Output,
              kBanner + "Usage:\nvoltrane <source_gpx_files_mask> <destination_ggz_file>\n");
  }
  EXPECT_TRUE(ListNames(dir.Path()).empty());
}

TEST_F(EndToEnd, BuildPrintsTheTranscriptAndLeavesOnlyTheArchive) {
  mkdir((dir / "in").c_str(), 0755);
  WriteFile(dir / "in/b.gpx", Gpx(Waypoint("GC2") + Waypoint("GC3")));
  WriteFile(dir / "in/a.gpx", Gpx(Waypoint("GC1")));
  WriteFile(dir / "in/none.gpx", Gpx(""));
  WriteFile(dir / "in/skip.txt", Gpx(Waypoint("GC9")));
  TProcessResult result = Run({"in/*.GPX", "out/./caches.ggz"});
  EXPECT_EQ(result.ExitCode, 0);
  EXPECT_EQ(MaskDuration(result.Output),
            kBanner + "Creating temporary storage...\n" +
                "Reading: " + dir / "in/a.gpx\nWriting: a_0000.gpx\nProcessed waypoints: 1\n" +
                "Reading: " + dir / "in/b.gpx\nWriting: b_0000.gpx\nProcessed waypoints: 2\n" +
                "Reading: " + dir / "in/none.gpx\n" + "Building: " + dir / "out/caches.ggz\n" +
                "Cleaning temporary files...\nDone!\nDuration: D\n");
  EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::string>{"in", "out"}));
  EXPECT_EQ(ListNames(dir / "out"), std::vector<std::string>{"caches.ggz"});  // it made the folder
}

TEST_F(EndToEnd, UnquotedMaskExpandedByTheShellActsAsOneMask) {
  WriteFile(dir / "a.gpx", Gpx(Waypoint("GC1")));
  WriteFile(dir / "b.gpx", Gpx(Waypoint("GC2")));
  TProcessResult many = Run({"b.gpx", "a.gpx", "a.gpx", "many.ggz"});
  EXPECT_EQ(many.ExitCode, 0);
  std::string output = many.Output;
  EXPECT_LT(output.find("Reading: " + dir / "b.gpx"), output.find("Reading: " + dir / "a.gpx"));
  EXPECT_EQ(output.find("Reading: " + dir / "a.gpx"), output.rfind("Reading: " + dir / "a.gpx"));

  // A forgotten destination would make the last source the destination: refused.
  std::string before = ReadFile(dir / "b.gpx");
  TProcessResult forgotten = Run({"a.gpx", "b.gpx"});
  EXPECT_EQ(forgotten.ExitCode, 1);
  EXPECT_EQ(MaskDuration(forgotten.Output),
            kBanner + "Duration: D\nEDestinationError: Cannot replace \"" + dir / "b.gpx" +
                "\": it is not a ZIP archive\n");
  EXPECT_EQ(ReadFile(dir / "b.gpx"), before);
}

TEST_F(EndToEnd, DestinationThatIsNotAnArchiveIsNeverTouched) {
  WriteFile(dir / "a.gpx", Gpx(Waypoint("GC1")));
  mkdir((dir / "folder.ggz").c_str(), 0755);
  TProcessResult folder = Run({"a.gpx", "folder.ggz"});
  EXPECT_EQ(folder.ExitCode, 1);
  EXPECT_NE(folder.Output.find("EDestinationError: Cannot replace \"" + dir / "folder.ggz" +
                               "\": it is a folder\n"),
            std::string::npos);

  TProcessResult source = Run({"*.gpx", "a.gpx"});
  EXPECT_NE(source.Output.find("EDestinationError: Cannot replace \"" + dir / "a.gpx" +
                               "\": it is one of the source files\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(dir / "a.gpx"), Gpx(Waypoint("GC1")));
  EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::string>{"a.gpx", "folder.ggz"}));
  EXPECT_TRUE(ListNames(dir / "folder.ggz").empty());
}

TEST_F(EndToEnd, ExistingArchiveIsReplacedOnSuccessAndKeptOnFailure) {
  WriteFile(dir / "a.gpx",
            Gpx(Waypoint("GC1", Letters(3000000, 1)) + Waypoint("GC2", Letters(3000000, 2))));
  WriteFile(dir / "out.ggz", kEmptyArchive);

  // A file-size limit makes the first chunk's write fail: a full disk.
  TProcessOptions limited;
  limited.FileSizeLimit = 2000000;
  TProcessResult failed = Run({"a.gpx", "out.ggz"}, limited);
  EXPECT_EQ(failed.ExitCode, 1);
  std::regex writeError("\nDuration: \\d+:\\d\\d:\\d\\d\nEFWriteError: Cannot write file \"" +
                        dir.Path() + "out\\.ggz\"\\. File too large\n$");
  EXPECT_TRUE(std::regex_search(failed.Output, writeError)) << failed.Output;
  EXPECT_EQ(ReadFile(dir / "out.ggz"), kEmptyArchive);
  EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::string>{"a.gpx", "out.ggz"}));

  TProcessResult done = Run({"a.gpx", "out.ggz"});
  EXPECT_EQ(done.ExitCode, 0);
  EXPECT_NE(ReadFile(dir / "out.ggz"), kEmptyArchive);
  EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::string>{"a.gpx", "out.ggz"}));
}

TEST_F(EndToEnd, UnwritableDestinationFolderEndsWithDurationThenError) {
  WriteFile(dir / "a.gpx", Gpx(Waypoint("GC1")));
  WriteFile(dir / "file", "not a folder");
  TProcessResult result = Run({"a.gpx", "file/out.ggz"});
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_EQ(MaskDuration(result.Output),
            kBanner + "Duration: D\nEDestinationError: Cannot create \"" + dir / "file/out.ggz" +
                "\": \"" + dir / "file" + "\" is not a folder\n");
}

// Members as an independent reader lists them, and one member's bytes.
std::vector<std::string> Members(const std::string& archive) {
  TProcessResult list = test::RunProcess({"/usr/bin/unzip", "-Z1", archive});
  std::vector<std::string> names;
  std::istringstream lines(list.Output);
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  return names;
}

std::string Member(const std::string& archive, const std::string& name) {
  return test::RunProcess({"/usr/bin/unzip", "-p", archive, name}).Output;
}

TEST_F(EndToEnd, ArchiveHoldsEveryChunkAndAnIndexWithTheirChecksums) {
  std::string header = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<gpx>\r\n";
  std::vector<std::string> big;
  std::string source = header;
  auto withoutLineBreak = [](std::string text) { return text.substr(0, text.size() - 2); };
  for (unsigned i = 0; i < 5; ++i) {
    big.push_back(withoutLineBreak(Waypoint("GC" + std::to_string(i), Letters(2000000, i))));
    source += big.back() + "\r\n";
  }
  WriteFile(dir / "caches.gpx", source + "</gpx>\r\n");
  WriteFile(dir / "caches.xml", header + Waypoint("GCX") + "</gpx>\r\n");
  TProcessResult result = Run({"caches.*", "out.ggz"});
  ASSERT_EQ(result.ExitCode, 0) << result.Output;
  EXPECT_NE(result.Output.find("Writing: caches_0002.gpx\nProcessed waypoints: 5\n"),
            std::string::npos);
  EXPECT_NE(result.Output.find("Writing: caches-2_0000.gpx\nProcessed waypoints: 1\n"),
            std::string::npos);

  std::string archive = dir / "out.ggz";
  TProcessResult check = test::RunProcess({"/usr/bin/unzip", "-t", archive});
  EXPECT_EQ(check.ExitCode, 0) << check.Output;
  const std::string index = "index/com/garmin/geocaches/v0/index.xml";
  EXPECT_EQ(Members(archive),
            (std::vector<std::string>{
                "data/", "data/caches-2_0000.gpx", "data/caches_0000.gpx", "data/caches_0001.gpx",
                "data/caches_0002.gpx", "index/", "index/com/", "index/com/garmin/",
                "index/com/garmin/geocaches/", "index/com/garmin/geocaches/v0/", index}));
  const std::string closing = "\r\n</gpx>\r\n";
  std::vector<std::pair<std::string, std::string>> chunks = {
      {"caches_0000.gpx", header + big[0] + big[1] + closing},
      {"caches_0001.gpx", header + big[2] + big[3] + closing},
      {"caches_0002.gpx", header + big[4] + closing},
      {"caches-2_0000.gpx", header + withoutLineBreak(Waypoint("GCX")) + closing}};
  std::string expectedNames;
  for (const auto& [name, bytes] : chunks) {
    EXPECT_EQ(Member(archive, "data/" + name), bytes) << name;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size()));
    char entry[160];
    snprintf(entry, sizeof entry, "   <file>\r\n     <name>%s</name>\r\n     <crc>%.8lX</crc>\r\n",
             name.c_str(), crc);
    expectedNames += entry;
  }
  std::string indexText = std::regex_replace(
      Member(archive, index),
      std::regex("     <time>.*</time>\r\n|   </file>\r\n|      <gch>[^]*?      </gch>\r\n"), "");
  EXPECT_EQ(indexText.substr(indexText.find("   <file>")), expectedNames + "</ggz>\r\n");
}

// Runs differ in their times only (the chunks' and the index's); everything else must be the
// same whatever the number of deflate threads.
TEST_F(EndToEnd, ThreadCountChangesNothingButTheTimes) {
  std::string source = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<gpx>\r\n";
  for (unsigned i = 0; i < 5; ++i)
    source += Waypoint("GC" + std::to_string(i), Letters(2000000, i));
  WriteFile(dir / "a.gpx", source + "</gpx>\r\n");
  WriteFile(dir / "b.gpx", Gpx(Waypoint("GCB")));
  auto withoutTimes = [](const std::string& text) {
    return std::regex_replace(
        text, std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d|<time>[^<]*</time>|Duration: \\S+"),
        "T");
  };
  const std::string index = "index/com/garmin/geocaches/v0/index.xml";
  std::string expectedListing, expectedIndex, expectedOutput;
  for (std::string threads : {"", "1", "2", "3"}) {
    SCOPED_TRACE("VOLTRANE_THREADS=" + threads);
    TProcessOptions options;
    options.Environment = {"VOLTRANE_THREADS=" + threads};
    TProcessResult result = Run({"*.gpx", "out.ggz"}, options);
    ASSERT_EQ(result.ExitCode, 0) << result.Output;
    std::string archive = dir / "out.ggz";
    ASSERT_EQ(test::RunProcess({"/usr/bin/unzip", "-tq", archive}).ExitCode, 0);
    // Sizes, methods and CRCs of every member; the index's size follows its times.
    std::string listing =
        std::regex_replace(withoutTimes(test::RunProcess({"/usr/bin/unzip", "-v", archive}).Output),
                           std::regex(".*index\\.xml\n|[^\n]*files\n$"), "");
    std::string indexText = withoutTimes(Member(archive, index));
    if (threads.empty()) {
      expectedListing = listing;
      expectedIndex = indexText;
      expectedOutput = withoutTimes(result.Output);
      EXPECT_NE(listing.find(" T "), std::string::npos);
      EXPECT_NE(listing.find("data/a_0002.gpx"), std::string::npos);
      continue;
    }
    EXPECT_EQ(listing, expectedListing);
    EXPECT_EQ(indexText, expectedIndex);
    EXPECT_EQ(withoutTimes(result.Output), expectedOutput);
  }
}

TEST_F(EndToEnd, UnusableThreadSettingEndsTheRunBeforeAnythingIsWritten) {
  WriteFile(dir / "a.gpx", Gpx(Waypoint("GC1")));
  for (std::string value : {"0", "-1", "2x", "257", "99999999999"}) {
    TProcessOptions options;
    options.Environment = {"VOLTRANE_THREADS=" + value};
    TProcessResult result = Run({"a.gpx", "out.ggz"}, options);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(MaskDuration(result.Output),
              kBanner +
                  "Duration: D\nESettingError: VOLTRANE_THREADS must be a whole number from "
                  "1 to 256, not \"" +
                  value + "\"\n");
  }
  EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{"a.gpx"});
}

}  // namespace
}  // namespace voltrane
