#include "ggz/Generate.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "ggz/IndexWriter.h"
#include "ggz/SplitGpxFile.h"
#include "rt/FileList.h"
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
  for (const std::string& mask : masks) {
    std::string folder = ExtractFilePath(mask);
    for (const TFileEntry& entry : ListFolder(folder, ExtractFileName(mask))) {
      std::string path = folder + entry.Name;
      if (!entry.IsFolder && std::find(sources.begin(), sources.end(), path) == sources.end())
        sources.push_back(path);
    }
  }
  return sources;
}

// The destination is replaced only when it is an archive (or absent): never a folder, a
// source of this run or any other file that the user may want.
void CheckDestination(const std::string& destination, const std::vector<std::string>& sources) {
  struct stat target;
  if (stat(destination.c_str(), &target) != 0) return;
  std::string quoted = "Cannot replace \"" + destination + "\": ";
  if (S_ISDIR(target.st_mode)) throw EDestinationError(quoted + "it is a folder");
  for (const std::string& source : sources) {
    struct stat info;
    if (stat(source.c_str(), &info) == 0 && info.st_dev == target.st_dev &&
        info.st_ino == target.st_ino)
      throw EDestinationError(quoted + "it is one of the source files");
  }
  char head[4] = {};
  TFileStream existing(destination, TFileMode::OpenRead);
  int64_t n = existing.Read(head, 4);
  bool zip = n == 4 && head[0] == 'P' && head[1] == 'K' &&
             ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
  if (!zip) throw EDestinationError(quoted + "it is not a ZIP archive");
}

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
  ForceDirectories(folder);  // a folder not made shows up as the failure below
  const std::string pattern = folder + ExtractFileName(destination) + ".tmp-XXXXXX";
  std::string work = pattern;
  if (!::mkdtemp(work.data())) throw EFCreateFolderError(pattern, errno);
  state.WorkDir = work + "/";
  state.TempDir = state.WorkDir + "tree/";
  state.SpillDir = state.WorkDir + "deflate/";
  state.DataDir = state.TempDir + "data/";
  state.IndexDir = state.TempDir + "index/com/garmin/geocaches/v0/";
  ForceDirectories(state.DataDir);
  ForceDirectories(state.IndexDir);
  state.IndexFileName = state.IndexDir + "index.xml";
}

void Generate(const std::vector<std::string>& sourceMasks, const std::string& destination,
              TConsole& console, int deflateThreads) {
  std::vector<std::string> sources = ListSources(sourceMasks);
  CheckDestination(destination, sources);

  TBuildState state(console);
  TCreatedPath workingTree(true);
  CreateTempStorage(state, destination);
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
  std::string archive = TFileStream::CreateUnique(ExtractFilePath(destination) +
                                                  ExtractFileName(destination) + ".part-")
                            ->Path();
  partialArchive.Set(archive);
  ZipFolder(archive, state.TempDir, pool.get(), state.SpillDir);
  pool.reset();
  {
    // The archive is on the device before it replaces the destination; the working tree,
    // no longer needed, goes meanwhile on another thread (each waits on something else).
    TTreeRemoval removal(state.WorkDir);
    TFileStream(archive, TFileMode::OpenRead).Sync();
    ReplaceDestination(archive, destination);
    partialArchive.Keep();
  }

  console.WriteLine("Cleaning temporary files...");
  workingTree.Remove();  // whatever the removal above could not take
  console.WriteLine("Done!");
}

}  // namespace voltrane
