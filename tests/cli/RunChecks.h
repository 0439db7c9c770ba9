// Small GPX sources, and what every end-to-end run checks: the index parses as strict XML
// 1.0, and the destination's folder holds what it held before, plus the archive on success.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace voltrane::test {

inline const std::string kGpxHeader = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<gpx>\r\n";
inline std::string Gpx(const std::string& waypoints) {
  return kGpxHeader + waypoints + "</gpx>\r\n";
}
inline std::string Waypoint(const std::string& code, const std::string& body = "") {
  return "<wpt lat=\"1\" lon=\"2\"><name>" + code + "</name>" + body + "</wpt>\r\n";
}
// Random letters, the same for the same seed: text that deflate cannot shrink much.
inline std::string Letters(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(size, ' ');
  for (char& c : text) c = char('a' + random() % 26);
  return text;
}

// Every path under a folder (relative, "/" separated) with what it holds: a file's bytes,
// "<folder>", "-> target" for a symbolic link, "<unreadable>", or "<other>" for anything else.
using TTreeSnapshot = std::map<std::string, std::string>;
TTreeSnapshot SnapshotTree(const std::string& folder);

// Empty when the document is well-formed XML 1.0 (expat, which also rejects characters
// that XML forbids and bytes that are not UTF-8), else expat's message with line and column.
std::string XmlWellFormedError(const std::string& document);

// As unzip gives them: a member's bytes, the member names one a line.
inline const std::string kIndexMember = "index/com/garmin/geocaches/v0/index.xml";
inline std::string Member(const std::string& archive, const std::string& name) {
  return RunProcess({"/usr/bin/unzip", "-p", archive, name}).Output;
}
inline std::string MemberList(const std::string& archive) {
  return RunProcess({"/usr/bin/unzip", "-Z1", archive}).Output;
}
inline std::string IndexOfArchive(const std::string& archive) {
  return Member(archive, kIndexMember);
}
// The member list after the chunks: the index's folders, then the index.
inline const std::string kIndexMemberList =
    "index/\nindex/com/\nindex/com/garmin/\nindex/com/garmin/geocaches/\n"
    "index/com/garmin/geocaches/v0/\n" +
    kIndexMember + "\n";

void ExpectTreeUnchanged(const TTreeSnapshot& before, const std::string& folder);
// After a successful run: the folder is as before, except that the archive (a path relative
// to the folder) was added or replaced, and its index is well-formed.
void ExpectOnlyArchiveChanged(const TTreeSnapshot& before, const std::string& folder,
                              const std::string& archive);

// An archive with no member: what a previous run may have left at the destination.
inline const std::string kPreviousArchive("PK\x05\x06" + std::string(18, '\0'));
inline const std::string kBanner = "VOLTRANE - GGZ file generator 1.0.0.2\n\n";

std::string LastLine(const std::string& output);  // without its line end
// The elapsed time of the Duration line replaced by "D".
std::string MaskDuration(const std::string& output);
// A failed run: status 1, the Duration line, then the error's line to end the output; a run
// refused before the build prints nothing else after the banner.
void ExpectFailure(const TProcessResult& result, const std::string& error, bool refused = false);

// Runs argv (the program first) in the folder; afterwards the folder must hold what it held
// before, except for the archive that archiveOf names for the result (a path relative to the
// folder, checked as ExpectOnlyArchiveChanged does), or nothing when it names none.
TProcessResult RunWatched(const std::string& folder, std::vector<std::string> argv,
                          TProcessOptions options,
                          const std::function<std::string(const TProcessResult&)>& archiveOf);

// A folder holding a source a.gpx with one waypoint and a previous archive out.ggz.
class TToolRun : public ::testing::Test {
 protected:
  void SetUp() override;
  // A success may change only the archive ("" for nothing), a failure nothing at all.
  TProcessResult Run(std::vector<std::string> args, const std::string& archive = "out.ggz",
                     TProcessOptions options = {});
  TTempFolder dir;
};

}  // namespace voltrane::test
