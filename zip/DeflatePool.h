// Files deflated ahead on worker threads, so that an archive's members are compressed on
// every CPU while the archive itself is still written member by member, in order.
//
// Threading: one thread uses the pool (Submit, Take, Wait). Submit queues a file; each
// worker (and Take, rather than wait for one) takes the oldest queued file, reads it,
// deflates it into a spill file of its own in the spill folder and keeps the result until
// Take hands it over. A worker holds one file's content and one zlib state at a time, so
// the members in memory are at most the workers' count (plus the one that the caller may
// deflate itself). One mutex guards the queue and the results. Workers block SIGINT,
// SIGTERM and SIGHUP (the caller's thread takes them) and check the interrupt flag between
// output blocks. After a worker's error no further file is started; the error waits for
// the Take of its file. The destructor cancels running work, joins every worker and
// removes every spill file.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "zip/ZipItem.h"
#include "zip/ZipRecords.h"

namespace voltrane {

// The CPUs this process may run on (its affinity mask), at least 1.
int UsableCpuCount();

class TDeflatePool {
 public:
  // threadCount 0 or less: one worker per usable CPU. The spill folder (ending with "/")
  // is created when missing, and removed again by the destructor when this pool made it.
  explicit TDeflatePool(std::string spillFolder, int threadCount = 0,
                        TZipCompressionType compressionType = TZipCompressionType::ctMaximum);
  ~TDeflatePool();
  TDeflatePool(const TDeflatePool&) = delete;
  TDeflatePool& operator=(const TDeflatePool&) = delete;

  int ThreadCount() const { return int(workers_.size()); }
  TZipCompressionType CompressionType() const { return compressionType_; }

  // Queues the file (a full path) for deflating; a path submitted before is left alone.
  void Submit(const std::string& path);
  // The same for a file whose bytes and CRC-32 the caller has in hand (it has just written
  // them), so they need not be read back. Waits while the files held in memory so are as
  // many as the workers plus one, so that memory stays bounded.
  void Submit(const std::string& path, std::string bytes, uint32_t crc);
  // A buffer that held the bytes of a file now deflated, emptied but with its capacity, for
  // the caller to fill again; an empty string when there is none.
  std::string TakeSpareBuffer();
  // A file whose content the caller prepared itself (say while writing it), for Take to
  // hand over like a worker's; left alone when the path was submitted before.
  void Adopt(const std::string& path, TPreparedZipItem content);
  // A fresh path in the spill folder, for content that the caller spills itself.
  std::string NewSpillPath();
  // The file's content as prepared (method, CRC-32, size, data in a spill file; no name),
  // waiting for a worker that is on it and raising the worker's error as it was raised.
  // Nothing when the file was never submitted, changed since (size or modification time),
  // or no worker has started it: the caller then prepares it on its own thread.
  std::optional<TPreparedZipItem> Take(const std::string& path);
  // Waits until no submitted file is still to be prepared by a worker.
  void Wait();

 private:
  // What a file looked like when its content was read.
  struct TFileStamp {
    bool Exists = false;
    int64_t Size = 0;
    int64_t Seconds = 0;
    int64_t Nanoseconds = 0;
    bool operator==(const TFileStamp&) const = default;
  };
  enum class TJobState { Queued, Running, Done };
  struct TJob {
    std::string Path;
    std::string SpillPath;
    TJobState State = TJobState::Queued;
    TFileStamp Stamp;
    std::optional<std::string> Bytes;  // the file's content, when the caller handed it over
    uint32_t Crc = 0;                  // and its CRC-32
    TPreparedZipItem Item;
    std::exception_ptr Error;
  };

  static TFileStamp StampOf(const std::string& path);
  // Adds a job for the file (under the mutex).
  void Queue(const std::string& path, std::optional<std::string> bytes, uint32_t crc);
  void Work();
  // Takes the oldest queued job and prepares it on this thread (the lock held on entry
  // and on return).
  void RunOldestJob(std::unique_lock<std::mutex>& lock);
  // Fills the job's Item or Error; raises nothing.
  void Prepare(TJob& job);
  void StopWorkers() noexcept;

  const std::string spillFolder_;
  const TZipCompressionType compressionType_;
  bool madeSpillFolder_ = false;
  int64_t jobsSubmitted_ = 0;

  std::mutex mutex_;
  std::condition_variable queued_;    // a job was queued, or the pool stops
  std::condition_variable finished_;  // a job is done, or a worker gave up
  std::map<std::string, std::unique_ptr<TJob>> jobs_;
  std::deque<TJob*> queue_;
  int running_ = 0;
  int bytesHeld_ = 0;                      // jobs whose content waits in memory
  std::vector<std::string> spareBuffers_;  // their buffers once deflated, for TakeSpareBuffer
  bool failed_ = false;                    // a job failed: start no further job
  std::atomic<bool> stopping_ = false;     // the destructor runs: cancel what is running
  std::vector<std::thread> workers_;
};

}  // namespace voltrane
