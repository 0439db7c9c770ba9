// The real executable against sources that are missing, mistyped or no files at all: it
// refuses them before anything is written, and a previous archive stays byte for byte.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "GpxFixtures.h"
#include "RunChecks.h"
#include "TestSupport.h"

namespace voltrane {
namespace {

using test::Gpx;
using test::Waypoint;

using test::kPreviousArchive;
using test::LastLine;

class HostileSources : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(dir / "a.gpx", Gpx(Waypoint("GC1")));
    test::WriteFile(dir / "out.ggz", kPreviousArchive);
  }
  // Runs voltrane in the folder; checks that a failure leaves the folder as it was and a
  // success changes only the archive.
  test::TProcessResult Run(std::vector<std::string> args, test::TProcessOptions options = {}) {
    args.insert(args.begin(), test::VoltraneExe());
    return test::RunWatched(dir.Path(), args, options, [](const test::TProcessResult& result) {
      return result.ExitCode == 0 ? "out.ggz" : "";
    });
  }
  test::TTempFolder dir;
};

TEST_F(HostileSources, MasksThatMatchNoFileEndTheRunNamingTheMask) {
  mkdir((dir / "sub").c_str(), 0777);
  test::WriteFile(dir / "sub/x.gpx", Gpx(Waypoint("GC2")));
  const struct {
    std::vector<std::string> masks;
    std::string error;
  } cases[] = {
      {{"typo*.gpx"}, "No file matches \"" + dir / "typo*.gpx\""},
      {{"a.gpx", "typo.gpx"}, "No file matches \"" + dir / "typo.gpx\""},
      {{"A.GPX"}, "No file matches \"" + dir / "A.GPX\""},  // exact names keep their case
      {{"sub"}, "No file matches \"" + dir / "sub\""},      // a folder is no source
      {{""}, "No file matches \"" + dir.Path() + "\""},
      {{"nope/*.gpx"}, "Cannot list folder \"" + dir / "nope/\". No such file or directory"},
      {{"nope/a.gpx"}, "Cannot list folder \"" + dir / "nope/\". No such file or directory"},
      {{"*/x.gpx"}, "Cannot list folder \"" + dir / "*/\". No such file or directory"},
      {{"a.gpx/*.gpx"}, "Cannot list folder \"" + dir / "a.gpx/\". Not a directory"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.masks;
    args.push_back("out.ggz");
    test::TProcessResult result = Run(args);
    EXPECT_EQ(result.ExitCode, 1) << c.error;
    EXPECT_EQ(LastLine(result.Output), "ENoSourceError: " + c.error);
    EXPECT_EQ(result.Output.find("Creating"), std::string::npos) << result.Output;
  }
}

TEST_F(HostileSources, MatchingSourcesGiveAnArchiveEvenWithoutWaypoints) {
  mkdir((dir / "B").c_str(), 0777);
  test::WriteFile(dir / "B/x.gpx", Gpx(Waypoint("GC2")));
  test::WriteFile(dir / "B/X.GPX", Gpx(Waypoint("GC3")));
  test::WriteFile(dir / "empty.gpx", Gpx(""));
  const struct {
    std::vector<std::string> masks;
    std::vector<std::string> read;  // the sources read, in order
  } cases[] = {
      {{"B/x.gpx"}, {"B/x.gpx"}},
      {{"B/*.GPX"}, {"B/X.GPX", "B/x.gpx"}},  // wildcards ignore the case of letters
      {{"empty.gpx"}, {"empty.gpx"}},
      {{"a.gpx", "*.gpx"}, {"a.gpx", "empty.gpx"}},  // a file matched twice is read once
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.masks;
    args.push_back("out.ggz");
    test::TProcessResult result = Run(args);
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    std::string read;
    for (size_t at = result.Output.find("Reading: "); at != std::string::npos;
         at = result.Output.find("Reading: ", at + 1))
      read += result.Output.substr(at + 9, result.Output.find('\n', at) - at - 9) + ";";
    std::string expected;
    for (const std::string& name : c.read) expected += dir / name + ";";
    EXPECT_EQ(read, expected);
  }
}

TEST_F(HostileSources, SourcesThatAreNoFilesAreRefusedBeforeAnythingIsWritten) {
  ASSERT_EQ(symlink("/dev/zero", (dir / "zero.gpx").c_str()), 0);
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string socketPath = dir / "sock.gpx";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const struct {
    std::string mask, refused;
  } cases[] = {{"zero.gpx", "zero.gpx"}, {"sock.gpx", "sock.gpx"}, {"*.gpx", "sock.gpx"}};
  for (const auto& c : cases) {
    test::TProcessResult result = Run({c.mask, "out.ggz"});
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(LastLine(result.Output), "ESourceError: Cannot read \"" + dir / c.refused +
                                           "\": it is a device or a socket, not a file");
  }
  close(listener);
}

TEST_F(HostileSources, SignalEndsTheWaitForAFifoWithoutWriter) {
  ASSERT_EQ(mkfifo((dir / "pipe.gpx").c_str(), 0666), 0);
  const std::pair<int, std::string> cases[] = {
      {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
  for (const auto& [signal, name] : cases) {
    test::TProcessOptions options;
    options.SignalToSend = signal;
    options.SignalWhenOutput = "Reading: ";
    test::TProcessResult result = Run({"pipe.gpx", "out.ggz"}, options);
    EXPECT_EQ(result.ExitCode, 128 + signal) << result.Output;
    EXPECT_EQ(LastLine(result.Output), "EInterrupted: Interrupted by " + name);
  }
}

}  // namespace
}  // namespace voltrane
