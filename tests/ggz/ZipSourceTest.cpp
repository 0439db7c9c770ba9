// ZIP sources, as pocket queries are downloaded: packed exactly as their GPX members would be
// as files; a damaged, encrypted or unsupported member, or none, ends the run naming why.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <regex>

#include "TestSupport.h"
#include "cli/RunChecks.h"
#include "ggz/Generate.h"
#include "ggz/SplitGpxFile.h"
#include "rt/Console.h"
#include "zip/ZipErrors.h"

namespace voltrane::test {
namespace {

class ZipSource : public ::testing::Test {
 public:
  void SetUp() override {
    WriteFile(dir / "1234567.gpx", Gpx(Waypoint("GC1") + Waypoint("GC2")));
    WriteFile(dir / "1234567-wpts.gpx", Gpx(Waypoint("PK1")));
    WriteFile(dir / "notes.txt", "not a GPX file");
  }
  // zip with these options over these files of the folder, appended to name.
  void Zip(const std::string& name, std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/usr/bin/zip", "-q", "-j", dir / name});
    for (size_t i = 4; i < argv.size(); ++i)
      if (argv[i][0] != '-') argv[i] = dir / argv[i];
    ASSERT_EQ(RunProcess(argv).ExitCode, 0);
  }
  std::string Build(const std::vector<std::string>& sources, std::string archive = "out.ggz") {
    TStringConsole console;
    Generate(sources, dir / archive, console, 1);
    return console.Text;
  }
  // Every member with its content, times masked in the index.
  std::string Members(const std::string& archive) {
    std::string all;
    for (const char* name : {"data/1234567_0000.gpx", "data/1234567-wpts_0000.gpx",
                             "index/com/garmin/geocaches/v0/index.xml"})
      all += std::string(name) + "\n" + Member(dir / archive, name);
    return std::regex_replace(all, std::regex("<time>[^<]*</time>"), "<time/>");
  }

  TTempFolder dir;
};

TEST_F(ZipSource, IsPackedAsItsGpxMembersWouldBeAsFiles) {
  Zip("1234567.zip", {"-9", "1234567.gpx"});
  Zip("1234567.zip", {"-0", "1234567-wpts.gpx", "notes.txt"});  // stored
  const std::string zip = dir / "1234567.zip";
  std::string transcript = Build({zip}, "zipped.ggz");
  Build({dir / "1234567.gpx", dir / "1234567-wpts.gpx"}, "files.ggz");
  EXPECT_EQ(Members("zipped.ggz"), Members("files.ggz"));
  EXPECT_EQ(MemberList(dir / "zipped.ggz"), MemberList(dir / "files.ggz"));
  const std::string read = "Reading: " + zip + " (1234567.gpx)\nWriting: 1234567_0000.gpx\n" +
                           "Processed waypoints: 2\nReading: " + zip + " (1234567-wpts.gpx)\n";
  EXPECT_NE(transcript.find(read), std::string::npos) << transcript;
}

TEST_F(ZipSource, UnreadableZipEndsTheRunNamingTheZipAndWhy) {
  struct TCase {
    const char* Why;
    std::vector<std::string> ZipOptions;
    std::string Error;  // the start of its kind and message
    std::function<void(std::string&)> Damage = [](std::string&) {};  // done to the zip's bytes
  };
  const std::string zip = dir / "s.zip";
  const TCase cases[] = {
      {"no GPX member", {"notes.txt"}, "EZipSourceError: \"" + zip + "\" holds no GPX member"},
      {"an encrypted member",
       {"-P", "secret", "1234567.gpx"},
       "EZipSourceError: Cannot read \"1234567.gpx\" in \"" + zip + "\": it is encrypted"},
      {"a damaged stored member",
       {"-0", "1234567.gpx"},
       "EZipError: \"1234567.gpx\" in \"" + zip + "\" is damaged: its CRC-32 is ",
       [](std::string& bytes) { bytes[bytes.find("<name>GC2") + 7] = 'X'; }},
      {"another method than stored or deflated",
       {"-0", "1234567.gpx"},
       "EZipSourceError: Cannot read \"1234567.gpx\" in \"" + zip +
           "\": its method 12 is neither stored (0) nor deflated (8)",
       [](std::string& bytes) {
         bytes[8] = 12;                              // bzip2, in the local header
         bytes[bytes.find("PK\x01\x02") + 10] = 12;  // and in the central one
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Why);
    std::remove(zip.c_str());  // the zip tool would add to it
    Zip("s.zip", c.ZipOptions);
    std::string bytes = ReadFile(zip);
    c.Damage(bytes);
    WriteFile(zip, bytes);
    EXPECT_EQ(KindAndMessageOf([&] { Build({zip}); }).substr(0, c.Error.size()), c.Error);
  }
}

}  // namespace
}  // namespace voltrane::test
