#include "bench/SplitOnlyRun.h"

#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <sstream>

#include "ggz/IndexWriter.h"
#include "ggz/SplitGpxFile.h"
#include "rt/Exception.h"
#include "rt/Path.h"
#include "util/DeleteTree.h"

namespace voltrane {

namespace {

// A working tree that is removed with everything in it when the run ends, however it ends.
class TScratchTree {
 public:
  explicit TScratchTree(const std::string& parent) {
    if (!ForceDirectories(parent)) throw EFCreateFolderError(parent, errno);
    std::string pattern = IncludeTrailingPathDelimiter(parent) + "split-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw EFCreateFolderError(pattern, errno);
    path_ = pattern + "/";
  }
  ~TScratchTree() { DeleteTree(path_); }
  TScratchTree(const TScratchTree&) = delete;
  TScratchTree& operator=(const TScratchTree&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Sums the numbers after a prefix over the transcript's lines.
int64_t SumAfter(const std::string& transcript, const std::string& prefix, bool countOnly) {
  std::istringstream lines(transcript);
  int64_t total = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.compare(0, prefix.size(), prefix) == 0)
      total += countOnly ? 1 : std::stoll(line.substr(prefix.size()));
  return total;
}

}  // namespace

TSplitOnlyFigures RunSplitOnly(const std::string& sourcePath, const std::string& workFolder) {
  const std::string source = ExpandFileName(sourcePath);
  TScratchTree tree(ExpandFileName(workFolder));
  TStringConsole console;
  TBuildState state(console);
  state.WorkDir = tree.Path();

  using TClock = std::chrono::steady_clock;
  TClock::time_point start = TClock::now();
  TFileStream index(state.WorkDir + "index.xml", TFileMode::Create);
  state.IndexStream = &index;
  WriteIndexHeader(index);
  SplitGpxFile(state, source);
  WriteIndexFooter(index);
  int64_t indexBytes = index.Size();
  index.Close();
  TClock::time_point end = TClock::now();

  TSplitOnlyFigures figures;
  figures.Seconds = std::chrono::duration<double>(end - start).count();
  figures.SourceBytes = TFileStream(source, TFileMode::OpenRead).Size();
  figures.Waypoints = SumAfter(console.Text, "Processed waypoints: ", false);
  figures.Chunks = SumAfter(console.Text, "Writing: ", true);
  figures.IndexBytes = indexBytes;
  return figures;
}

}  // namespace voltrane
