// The real executable against sources that are missing, mistyped or no files at all: it
// refuses them before anything is written, and a previous archive stays byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "RunChecks.h"

namespace voltrane {
namespace {

using HostileSources = test::TToolRun;

TEST_F(HostileSources, MasksThatMatchNoFileEndTheRunNamingTheMask) {
  mkdir((dir / "sub").c_str(), 0777);
  test::WriteFile(dir / "sub/x.gpx", test::Gpx(test::Waypoint("GC2")));
  const std::pair<std::vector<std::string>, std::string> kCases[] = {
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
  for (auto [args, error] : kCases) {
    args.push_back("out.ggz");
    test::ExpectFailure(Run(args), "ENoSourceError: " + error, true);
  }
}

// As when the shell expands an unquoted mask: the masks are read in their order, each
// listing sorted, and a file that several of them match is read once.
TEST_F(HostileSources, MasksAreReadInTheirOrderAndAFileMatchedTwiceOnlyOnce) {
  test::WriteFile(dir / "b.gpx", test::Gpx(test::Waypoint("GC2")));
  test::WriteFile(dir / "c.gpx", test::Gpx(""));
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
  test::WriteFile(dir / "locked.gpx", test::Gpx(test::Waypoint("GC1")));
  chmod((dir / "locked.gpx").c_str(), 0);
  ASSERT_EQ(mknod((dir / "sock.gpx").c_str(), S_IFSOCK | 0666, 0), 0);
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
}

}  // namespace
}  // namespace voltrane
