#include "RunChecks.h"

#include <expat.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "TestSupport.h"

namespace voltrane::test {

TTreeSnapshot SnapshotTree(const std::string& folder) {
  namespace fs = std::filesystem;
  TTreeSnapshot snapshot;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator();
       ++it) {
    // Lexically: fs::relative would resolve links and file them under their targets.
    std::string relative = it->path().lexically_relative(folder).generic_string();
    if (it->is_symlink())
      snapshot[relative] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      snapshot[relative] = "<folder>";
    else if (it->is_regular_file())
      snapshot[relative] = ReadFile(it->path().string());
    else
      snapshot[relative] = "<other>";
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

std::string Member(const std::string& archive, const std::string& name) {
  return RunProcess({"/usr/bin/unzip", "-p", archive, name}).Output;
}

std::vector<std::string> Members(const std::string& archive) {
  std::istringstream lines(RunProcess({"/usr/bin/unzip", "-Z1", archive}).Output);
  std::vector<std::string> names;
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  return names;
}

void ExpectTreeUnchanged(const TTreeSnapshot& before, const std::string& folder) {
  TTreeSnapshot after = SnapshotTree(folder);
  for (const auto& [path, content] : after)
    if (!before.count(path)) ADD_FAILURE() << "left behind: " << path;
  for (const auto& [path, content] : before) {
    auto it = after.find(path);
    if (it == after.end())
      ADD_FAILURE() << "gone: " << path;
    else if (it->second != content)
      ADD_FAILURE() << "changed: " << path;
  }
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
  std::string index = IndexOfArchive(folder + (folder.ends_with("/") ? "" : "/") + archive);
  EXPECT_EQ(XmlWellFormedError(index), "") << index;
}

std::string LastLine(const std::string& output) {
  std::string text = output.substr(0, output.size() - (output.ends_with("\n") ? 1 : 0));
  return text.substr(text.rfind('\n') + 1);
}

std::string MaskDuration(const std::string& output) {
  return std::regex_replace(output, std::regex("Duration: \\d+:\\d\\d:\\d\\d\n"), "Duration: D\n");
}

void ExpectFailure(const TProcessResult& result, const std::string& error) {
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_TRUE(MaskDuration(result.Output).ends_with("\nDuration: D\n" + error + "\n"))
      << result.Output;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
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
