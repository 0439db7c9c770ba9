// The real executable against sources that are missing, mistyped or no files at all: it
// refuses them before anything is written, and a previous archive stays byte for byte.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <regex>

#include "RunChecks.h"

namespace voltrane {
namespace {

using test::Gpx;
using test::Waypoint;

using HostileSources = test::TToolRun;

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
    EXPECT_EQ(test::MaskDuration(result.Output),
              test::kBanner + "Duration: D\nENoSourceError: " + c.error + "\n");
  }
}

// As when the shell expands an unquoted mask: the masks are read in their order, each
// listing sorted, and a file that several of them match is read once.
TEST_F(HostileSources, MasksAreReadInTheirOrderAndAFileMatchedTwiceOnlyOnce) {
  test::WriteFile(dir / "b.gpx", Gpx(Waypoint("GC2")));
  test::WriteFile(dir / "c.gpx", Gpx(""));
  std::string output = Run({"b.gpx", "a.gpx", "*.gpx", "a.gpx", "out.ggz"}).Output;
  std::string read;
  std::regex reading("Reading: (.*)\n");
  for (std::sregex_iterator it(output.begin(), output.end(), reading), end; it != end; ++it)
    read += (*it)[1].str() + ";";
  EXPECT_EQ(read, dir / "b.gpx;" + dir / "a.gpx;" + dir / "c.gpx;") << output;
}

TEST_F(HostileSources, SourcesThatCannotBeReadEndTheRun) {
  ASSERT_EQ(symlink("/dev/zero", (dir / "zero.gpx").c_str()), 0);
  ASSERT_EQ(symlink("vanished.gpx", (dir / "gone.gpx").c_str()), 0);  // listed, not there
  test::WriteFile(dir / "locked.gpx", Gpx(Waypoint("GC1")));
  chmod((dir / "locked.gpx").c_str(), 0);
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string socketPath = dir / "sock.gpx";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  auto refused = [&](const std::string& name) {
    return "ESourceError: Cannot read \"" + dir / name +
           "\": it is a device or a socket, not a file";
  };
  std::vector<std::pair<std::string, std::string>> cases = {
      {"zero.gpx", refused("zero.gpx")},
      {"sock.gpx", refused("sock.gpx")},
      {"so*.gpx", refused("sock.gpx")},
      {"gone.gpx",
       "EFOpenError: Cannot open file \"" + dir / "gone.gpx" + "\". No such file or directory"}};
  if (geteuid() != 0)  // permissions do not bind the super-user
    cases.push_back({"locked.gpx", "EFOpenError: Cannot open file \"" + dir / "locked.gpx" +
                                       "\". Permission denied"});
  for (const auto& [mask, error] : cases) {
    test::ExpectFailure(Run({mask, "out.ggz"}), error);
  }
  close(listener);
}

}  // namespace
}  // namespace voltrane
