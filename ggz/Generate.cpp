#include "ggz/Generate.h"

#include <unordered_set>

#include "ggz/IndexWriter.h"
#include "ggz/SplitGpxFile.h"
#include "rt/FileList.h"
#include "rt/Interrupt.h"
#include "rt/Path.h"
#include "rt/Platform.h"
#include "rt/Threads.h"
#include "util/DeleteTree.h"
#include "zip/ArchiveWriter.h"

namespace voltrane {

namespace {

// Every file (not folder) that the masks match; a file matched twice is taken once.
std::vector<std::string> ListSources(const std::vector<std::string>& masks) {
  std::vector<std::string> sources;
  std::unordered_set<std::string> taken;
  for (const std::string& mask : masks) {
    std::string folder = ExtractFilePath(mask), name = ExtractFileName(mask);
    int error = 0;
    std::vector<TFileEntry> entries;
    TFileEntry exact;
    if (name.find_first_of("*?") != std::string::npos)
      entries = ListFolder(folder, name, &error);
    else if (FindEntry(mask, exact))
      entries.push_back(exact);
    else
      ListFolder(folder, "", &error);  // only for the reason a missing folder gives
    if (error != 0)
      throw ENoSourceError("Cannot list folder \"" + folder + "\". " + SysErrorText(error));
    bool matched = false;
    for (const TFileEntry& entry : entries) {
      if (entry.IsFolder) continue;
      std::string path = folder + entry.Name;
      // Reading a device never ends (/dev/zero) and a socket cannot be opened.
      if (entry.IsDevice)
        throw ESourceError("Cannot read \"" + path + "\": it is a device or a socket, not a file");
      matched = true;
      if (taken.insert(path).second) sources.push_back(path);
    }
    if (!matched) throw ENoSourceError("No file matches \"" + mask + "\"");
  }
  return sources;
}

// A path that cannot name an archive file is refused before any source is read.
void CheckDestinationPath(const std::string& destination, const std::string& target) {
  for (const std::string& path : {destination, target}) {
    std::string name = ExtractFileName(path);
    if (name.empty() || name == "." || name == "..")
      throw EDestinationError("Cannot create \"" + destination +
                              "\": the path names a folder, not a file");
  }
  std::string above = ExcludeTrailingPathDelimiter(ExtractFilePath(target));
  while (!DirectoryExists(above) && !FileExists(above) && above.size() > 1)
    above = ExcludeTrailingPathDelimiter(ExtractFilePath(above));
  if (!DirectoryExists(above))
    throw EDestinationError("Cannot create \"" + destination + "\": \"" + above +
                            "\" is not a folder");
}

// The destination is replaced only when it is an archive (or absent): never a folder, a
// FIFO or device (not even opened), a source of this run or any other file that the user
// may want.
void CheckDestination(const std::string& destination, const std::string& target,
                      const std::vector<std::string>& sources) {
  TFileEntry existing;
  // A link that is still one after its links were followed leads nowhere (or in a loop).
  if (!FindEntry(target, existing) || existing.IsLink) return;
  std::string quoted = "Cannot replace \"" + destination + "\": ";
  if (existing.IsFolder) throw EDestinationError(quoted + "it is a folder");
  if (existing.IsDevice || existing.IsFifo)
    throw EDestinationError(quoted + "it is not a regular file");
  for (const std::string& source : sources)
    if (SameFile(source, target)) throw EDestinationError(quoted + "it is one of the source files");
  char head[4] = {};
  TFileStream file(target, TFileMode::OpenRead);
  int64_t n = file.Read(head, 4);
  bool zip = n == 4 && head[0] == 'P' && head[1] == 'K' &&
             ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
  if (!zip) throw EDestinationError(quoted + "it is not a ZIP archive");
}

// The folders that creating the given folder would make, deepest first; removed again
// (when still empty) unless the run succeeds.
class TCreatedFolders {
 public:
  explicit TCreatedFolders(const std::string& folder) {
    for (std::string path = ExcludeTrailingPathDelimiter(folder);
         path.size() > 1 && !DirectoryExists(path) && !FileExists(path);
         path = ExcludeTrailingPathDelimiter(ExtractFilePath(path)))
      missing_.push_back(path);
  }
  ~TCreatedFolders() {
    for (const std::string& path : missing_) RemoveEmptyFolder(path);
  }
  TCreatedFolders(const TCreatedFolders&) = delete;
  TCreatedFolders& operator=(const TCreatedFolders&) = delete;
  void Keep() { missing_.clear(); }

 private:
  std::vector<std::string> missing_;
};

// The run's own folder beside the destination, with everything the run puts there; removed
// when the run ends, however it ends.
class TWorkingTree {
 public:
  TWorkingTree(TBuildState& state, const std::string& target) {
    CreateTempStorage(state, target);
    path_ = state.WorkDir;
  }
  ~TWorkingTree() { DeleteTree(path_); }  // never fails: what cannot go stays
  TWorkingTree(const TWorkingTree&) = delete;
  TWorkingTree& operator=(const TWorkingTree&) = delete;

 private:
  std::string path_;
};

// Deflate threads: as many as asked, else one per usable CPU; with one CPU, none (deflating
// on the splitting thread is then the faster way).
int DeflateWorkers(int deflateThreads) {
  if (deflateThreads > 0) return deflateThreads;
  int cpus = UsableCpuCount();
  return cpus < 2 ? 0 : cpus;
}

// Every source split into chunks, which go into the archive as they close, and the index
// that lists them, deflated into the archive as it grows.
void SplitAndIndex(TBuildState& state, TArchiveWriter& archive,
                   const std::vector<std::string>& sources) {
  archive.AddFolder(kDataFolder);  // there even when no source holds a waypoint
  state.OnChunkClosed = [&archive](const std::string& chunkName, std::string&& bytes,
                                   uint32_t crc) {
    archive.AddMember(kDataFolder + chunkName, std::move(bytes), crc);
  };
  state.IndexStream = &archive.BeginStreamedMember(kIndexMemberName);
  WriteIndexHeader(*state.IndexStream);
  for (const std::string& source : sources) SplitGpxFile(state, source);
  WriteIndexFooter(*state.IndexStream);
  state.IndexStream = nullptr;
  archive.EndStreamedMember();
}

// The finished archive (already on the device) takes the destination's place in one step,
// so a reader sees the old file or the new one, never a part.
void CommitArchive(const std::string& archive, const std::string& target, bool replacesFile) {
  if (replacesFile) CopyOwnerAndMode(target, archive);
  CheckInterrupted();  // the last moment at which a signal still keeps the old archive
  ReplaceFile(archive, target);
}

}  // namespace

void CreateTempStorage(TBuildState& state, const std::string& destination) {
  state.Console.WriteLine("Creating temporary storage...");
  std::string folder = ExtractFilePath(destination);
  if (!ForceDirectories(folder)) throw EFCreateFolderError(folder, LastSystemError());
  // The working folder is the run's own affair: a failure to make it is told as one to
  // create the destination.
  std::string work;
  int error = 0;
  if (!CreateUniqueFolder(folder + ExtractFileName(destination) + ".tmp-", work, error))
    throw EFCreateError(destination, error);
  state.WorkDir = work + kPathDelimiter;
}

namespace {

// Everything from the working tree to the archive in the destination's place.
void BuildAndReplace(const std::vector<std::string>& sources, const std::string& destination,
                     const std::string& target, bool replacesFile, TConsole& console,
                     int deflateThreads) {
  TBuildState state(console);
  TWorkingTree workingTree(state, target);
  TArchiveWriter archive(state.WorkDir + "archive.ggz", state.WorkDir,
                         DeflateWorkers(deflateThreads));
  SplitAndIndex(state, archive, sources);
  console.WriteLine("Building: " + destination);
  archive.Finish();
  CommitArchive(archive.Path(), target, replacesFile);
}

}  // namespace

void Generate(const std::vector<std::string>& sourceMasks, const std::string& destination,
              TConsole& console, int deflateThreads) {
  // Messages name the destination in its resolved folder; files go where its links lead.
  const std::string shown = ResolveFolderPart(destination);
  const std::string target = FollowLinks(destination);
  CheckDestinationPath(shown, target);
  std::vector<std::string> sources = ListSources(sourceMasks);
  CheckDestination(shown, target, sources);
  bool replacesFile = FileExists(target);

  TCreatedFolders createdFolders(ExtractFilePath(target));
  try {
    BuildAndReplace(sources, shown, target, replacesFile, console, deflateThreads);
  } catch (Exception& e) {
    // The working folder and the archive in it are this run's own: the user knows the
    // destination.
    e.ReplaceQuotedPaths(target + ".tmp-", shown);
    throw;
  }
  createdFolders.Keep();

  // The destination holds the new archive: what fails from here on is told, but the run
  // has done its work, and the exit status must say so.
  try {
    console.WriteLine("Cleaning temporary files...");
    console.WriteLine("Done!");
  } catch (const Exception& e) {
    try {
      console.WriteErrorLine(e.KindName() + ": " + e.Message());
    } catch (const Exception&) {
      // Standard error is gone as well: nobody is left to tell.
    }
  }
}

}  // namespace voltrane
