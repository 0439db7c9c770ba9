#include "RunChecks.h"

#include <expat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "ggz/CheckArchive.h"
#include "rt/Console.h"

namespace voltrane::test {

TTreeSnapshot SnapshotTree(const std::string& folder) {
  namespace fs = std::filesystem;
  TTreeSnapshot snapshot;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    // Lexically: fs::relative would resolve links and file them under their targets.
    std::string relative = entry.path().lexically_relative(folder).generic_string();
    snapshot[relative] = entry.is_symlink()     ? "-> " + fs::read_symlink(entry.path()).string()
                         : entry.is_directory() ? "<folder>"
                         : !entry.is_regular_file() ? "<other>"
                         : access(entry.path().c_str(), R_OK) != 0
                             ? "<unreadable>"
                             : ReadFile(entry.path().string());
  }
  return snapshot;
}

std::string XmlWellFormedError(const std::string& document) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  std::string error;
  if (XML_Parse(parser, document.data(), int(document.size()), 1) == XML_STATUS_ERROR)
    error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at " +
            std::to_string(XML_GetCurrentLineNumber(parser)) + ":" +
            std::to_string(XML_GetCurrentColumnNumber(parser));
  XML_ParserFree(parser);
  return error;
}

void ExpectTreeUnchanged(const TTreeSnapshot& before, const std::string& folder) {
  TTreeSnapshot after = SnapshotTree(folder);
  for (const auto& [path, content] : after) EXPECT_TRUE(before.count(path)) << "left: " << path;
  for (const auto& [path, content] : before)
    EXPECT_TRUE(after.count(path) && after[path] == content) << "gone or changed: " << path;
}

void ExpectOnlyArchiveChanged(const TTreeSnapshot& before, const std::string& folder,
                              const std::string& archive) {
  TTreeSnapshot expected = before;
  TTreeSnapshot after = SnapshotTree(folder);
  ASSERT_TRUE(after.count(archive)) << "no archive " << archive;
  expected[archive] = after[archive];
  for (std::string parent = archive; parent.find('/') != std::string::npos;) {
    parent.resize(parent.rfind('/'));
    expected[parent] = "<folder>";  // folders the run made for the destination
  }
  ExpectTreeUnchanged(expected, folder);
  std::string path = folder + (folder.ends_with("/") ? "" : "/") + archive;
  std::string index = IndexOfArchive(path);
  EXPECT_EQ(XmlWellFormedError(index), "") << index;
  // What a device needs of it, as --check reads it.
  TStringConsole check;
  EXPECT_EQ(CheckGgzFile(path, check).Problems, 0) << check.Text;
}

std::string LastLine(const std::string& output) {
  std::string text = output.substr(0, output.size() - (output.ends_with("\n") ? 1 : 0));
  return text.substr(text.rfind('\n') + 1);
}

std::string MaskDuration(const std::string& output) {
  return std::regex_replace(output, std::regex("Duration: \\d+:\\d\\d:\\d\\d\n"), "Duration: D\n");
}

void ExpectFailure(const TProcessResult& result, const std::string& error, bool refused) {
  EXPECT_EQ(result.ExitCode, 1);
  std::string output = MaskDuration(result.Output), end = "Duration: D\n" + error + "\n";
  if (refused)
    EXPECT_EQ(output, kBanner + end);
  else
    EXPECT_TRUE(output.ends_with("\n" + end)) << result.Output;
}

TProcessResult RunWatched(const std::string& folder, std::vector<std::string> argv,
                          TProcessOptions options,
                          const std::function<std::string(const TProcessResult&)>& archiveOf) {
  TTreeSnapshot before = SnapshotTree(folder);
  options.WorkingFolder = folder;
  TProcessResult result = RunProcess(argv, options);
  std::string archive = archiveOf(result);
  if (archive.empty())
    ExpectTreeUnchanged(before, folder);
  else
    ExpectOnlyArchiveChanged(before, folder, archive);
  return result;
}

void TToolRun::SetUp() {
  WriteFile(dir / "a.gpx", Gpx(Waypoint("GC1")));
  WriteFile(dir / "out.ggz", kPreviousArchive);
}

TProcessResult TToolRun::Run(std::vector<std::string> args, const std::string& archive,
                             TProcessOptions options) {
  args.insert(args.begin(), VoltraneExe());
  return RunWatched(dir.Path(), args, options, [&](const TProcessResult& result) {
    return result.ExitCode == 0 ? archive : "";
  });
}

}  // namespace voltrane::test
