// A new archive written once, from its first member to its end record: the way every member
// of a run gets into the GGZ file.
//
// Members come in as the run makes them. A member's content in hand is deflated on a worker
// thread (or at once, without workers); the thread that adds members appends each one, in
// the order they came, as soon as it and every member before it are deflated, so memory
// holds only the members still on their way (bounded by bytes: adding waits while they hold
// more than a few chunks). Finish writes the central directory and the end record once.
// The archive lists its members in the order of a walk of the folder tree their names make
// (each level in byte order of its names, a folder before what it holds); members that came
// in another order are put into it by one copy of the records at the end.
//
// One thread uses a writer. A worker's failure is raised by the next call that appends its
// member or by Finish; the first failure is the one raised.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "rt/Stream.h"
#include "zip/ZipRecords.h"

namespace voltrane {

class TDeflateQueue;
class TStreamedMember;
struct TPreparedZipItem;

class TArchiveWriter {
 public:
  // Bytes that the members on their way may hold per worker thread.
  static constexpr int64_t kHeldBytesPerWorker = 6 << 20;

  // Creates the archive file anew. workers: deflate threads, 0 for none. A streamed member
  // keeps its deflate data beyond a few MiB in a file in spillFolder (ending with "/").
  TArchiveWriter(const std::string& archivePath, std::string spillFolder, int workers);
  // Stops and joins the workers. An unfinished archive file stays, for its owner to remove.
  ~TArchiveWriter();
  TArchiveWriter(const TArchiveWriter&) = delete;
  TArchiveWriter& operator=(const TArchiveWriter&) = delete;

  // The archive file: the path given, or after Finish the file it was copied into.
  const std::string& Path() const { return file_->Path(); }

  // A folder member ("data/"), after the folders above it that are not members yet.
  void AddFolder(const std::string& name);
  // A file member of these bytes, whose CRC-32 the caller has taken, stamped with the
  // present time; its folders come first when they are not members yet.
  void AddMember(const std::string& name, std::string bytes, uint32_t crc);
  // A file member written into the stream returned, deflated on this thread as it comes,
  // until EndStreamedMember makes it a member. One at a time.
  TStream& BeginStreamedMember(const std::string& name);
  void EndStreamedMember();
  // Appends what is still on its way, writes the directory and the end record, flushes the
  // file to the device and closes it.
  void Finish();

 private:
  // A member appended: its central record (offset included) and its local record's size.
  struct TAppended {
    TCentralDirectoryFile Central;
    int64_t LocalSize = 0;
  };

  void AddFolderChain(const std::string& name);
  // Appends every member on its way, then this one.
  void AppendLast(TPreparedZipItem item);
  // Appends the deflated members at the head of the queue; with wait, all of them.
  void AppendDeflated(bool wait);
  void Append(const TPreparedZipItem& item);
  void PutInWalkOrder();
  void WriteDirectory();

  const std::string spillFolder_;
  std::unique_ptr<TFileStream> file_;
  std::unique_ptr<TDeflateQueue> queue_;  // none without workers
  int64_t heldLimit_ = 0;
  std::unique_ptr<TStreamedMember> streamed_;
  std::set<std::string> folders_;    // folder members so far
  std::vector<TAppended> appended_;  // in the order appended
  int64_t end_ = 0;                  // where the next local record goes
  int64_t directorySize_ = 0;        // of the central records so far
};

}  // namespace voltrane
