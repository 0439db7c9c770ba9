#include "ggz/Generate.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <unordered_set>

#include "ggz/IndexWriter.h"
#include "ggz/SplitGpxFile.h"
#include "rt/FileList.h"
#include "rt/Interrupt.h"
#include "rt/Path.h"
#include "util/DeleteTree.h"
#include "zip/DeflatePool.h"
#include "zip/DeflatingFileStream.h"
#include "zip/ZipFolder.h"

namespace voltrane {

namespace {

// Removes a path that this run created, unless the run has kept it.
class TCreatedPath {
 public:
  explicit TCreatedPath(bool isTree) : isTree_(isTree) {}
  ~TCreatedPath() { Remove(); }
  TCreatedPath(const TCreatedPath&) = delete;
  TCreatedPath& operator=(const TCreatedPath&) = delete;

  void Set(std::string path) { path_ = std::move(path); }
  void Keep() { path_.clear(); }
  void Remove() {
    if (path_.empty()) return;
    isTree_ ? DeleteTree(path_) : void(::unlink(path_.c_str()));
    path_.clear();
  }

 private:
  bool isTree_;
  std::string path_;
};

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
  struct stat existing;
  if (stat(target.c_str(), &existing) != 0) return;
  std::string quoted = "Cannot replace \"" + destination + "\": ";
  if (S_ISDIR(existing.st_mode)) throw EDestinationError(quoted + "it is a folder");
  if (!S_ISREG(existing.st_mode)) throw EDestinationError(quoted + "it is not a regular file");
  for (const std::string& source : sources) {
    struct stat info;
    if (stat(source.c_str(), &info) == 0 && info.st_dev == existing.st_dev &&
        info.st_ino == existing.st_ino)
      throw EDestinationError(quoted + "it is one of the source files");
  }
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

// Removes a tree on a thread of its own; the destructor waits for it.
class TTreeRemoval {
 public:
  explicit TTreeRemoval(std::string folder)
      : thread_([folder = std::move(folder)] {
          try {
            DeleteTree(folder);
          } catch (...) {
            // What is left goes with the removal that follows in any case.
          }
        }) {}
  ~TTreeRemoval() { thread_.join(); }
  TTreeRemoval(const TTreeRemoval&) = delete;
  TTreeRemoval& operator=(const TTreeRemoval&) = delete;

 private:
  std::thread thread_;
};

// The finished archive (already on the device) takes the destination's place in one
// step, so a reader sees the old file or the new one, never a part.
void ReplaceDestination(const std::string& archive, const std::string& destination) {
  if (::rename(archive.c_str(), destination.c_str()) != 0) throw EFCreateError(destination, errno);
}

// With workers every chunk is deflated as soon as it is closed, while the split goes on.
// By default there is one per usable CPU; with one CPU, deflating on this thread while
// zipping is the faster way.
std::unique_ptr<TDeflatePool> MakeDeflatePool(TBuildState& state, int deflateThreads) {
  int workers = deflateThreads > 0 ? deflateThreads : UsableCpuCount();
  if (deflateThreads <= 0 && workers < 2) return nullptr;
  auto pool = std::make_unique<TDeflatePool>(state.SpillDir, workers);
  state.OnChunkClosed = [workers = pool.get()](const std::string& path, std::string&& bytes,
                                               uint32_t crc) {
    workers->Submit(path, std::move(bytes), crc);
    return workers->TakeSpareBuffer();
  };
  return pool;
}

}  // namespace

void CreateTempStorage(TBuildState& state, const std::string& destination) {
  state.Console.WriteLine("Creating temporary storage...");
  std::string folder = ExtractFilePath(destination);
  if (!ForceDirectories(folder)) throw EFCreateFolderError(folder, errno);
  // The working folder is the run's own affair: a failure to make it is told as one to
  // create the destination.
  std::string work = folder + ExtractFileName(destination) + ".tmp-XXXXXX";
  if (!::mkdtemp(work.data())) throw EFCreateError(destination, errno);
  state.WorkDir = work + "/";
  state.TempDir = state.WorkDir + "tree/";
  state.SpillDir = state.WorkDir + "deflate/";
  state.DataDir = state.TempDir + "data/";
  state.IndexDir = state.TempDir + "index/com/garmin/geocaches/v0/";
  ForceDirectories(state.DataDir);
  ForceDirectories(state.IndexDir);
  state.IndexFileName = state.IndexDir + "index.xml";
}

namespace {

// Everything from the working tree to the archive in the destination's place.
void BuildAndReplace(const std::vector<std::string>& sources, const std::string& destination,
                     const std::string& target, bool replacesFile, TConsole& console,
                     int deflateThreads) {
  TBuildState state(console);
  TCreatedPath workingTree(true);
  CreateTempStorage(state, target);
  workingTree.Set(state.WorkDir);
  // Goes before the tree does.
  std::unique_ptr<TDeflatePool> pool = MakeDeflatePool(state, deflateThreads);

  // The index is complete only after the last chunk; with workers it is deflated while it
  // is written, so that the archive does not wait for it at the end.
  TDeflatingFileStream* deflatingIndex = nullptr;
  if (pool) {
    auto index = std::make_unique<TDeflatingFileStream>(state.IndexFileName, pool->NewSpillPath(),
                                                        pool->CompressionType());
    deflatingIndex = index.get();
    state.IndexStream = std::move(index);
  } else {
    state.IndexStream = std::make_unique<TFileStream>(state.IndexFileName, TFileMode::Create);
  }
  WriteIndexHeader(*state.IndexStream);
  for (const std::string& source : sources) SplitGpxFile(state, source);
  WriteIndexFooter(*state.IndexStream);
  state.IndexStream->Close();
  if (deflatingIndex) pool->Adopt(state.IndexFileName, deflatingIndex->TakeContent());
  state.IndexStream.reset();

  console.WriteLine("Building: " + destination);
  TCreatedPath partialArchive(false);
  std::string archive = TFileStream::CreateUnique(target + ".part-")->Path();
  partialArchive.Set(archive);
  ZipFolder(archive, state.TempDir, pool.get(), state.SpillDir);
  pool.reset();
  if (replacesFile) CopyOwnerAndMode(target, archive);
  // The archive is on the device before it replaces the destination; the working tree,
  // no longer needed, goes meanwhile on another thread (each waits on something else).
  TTreeRemoval removal(state.WorkDir);
  TFileStream(archive, TFileMode::OpenRead).Sync();
  CheckInterrupted();  // the last moment at which a signal still keeps the old archive
  ReplaceDestination(archive, target);
  partialArchive.Keep();
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
    // The working folder and the part file are this run's own: the user knows the
    // destination.
    e.ReplaceQuotedPaths(target + ".tmp-", shown);
    e.ReplaceQuotedPaths(target + ".part-", shown);
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
