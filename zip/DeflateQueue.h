// Members deflated on worker threads while the thread that adds them goes on splitting.
//
// Threading: one thread, the owner, calls Add, TakeOldest and the destructor. Jobs are started
// and handed back in the order they were added, so the owner takes them in the archive's
// order of arrival. One mutex guards the jobs; workers wait on a condition variable for
// work; the owner waits through a TInterruptibleWait, which a stop signal ends at once. A
// worker's failure is handed over as its job's result, and no job starts after it. The
// destructor cancels what runs and joins every worker, whatever happened before.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rt/Interrupt.h"
#include "zip/ZipItem.h"

namespace voltrane {

// What a member is called and carries besides its content.
struct TMemberInfo {
  std::string Name;
  uint16_t Attributes = 0;
  TDateTime Time = 0;
};

class TDeflateQueue {
 public:
  TDeflateQueue(int workers, TZipCompressionType compressionType);
  ~TDeflateQueue();
  TDeflateQueue(const TDeflateQueue&) = delete;
  TDeflateQueue& operator=(const TDeflateQueue&) = delete;

  // The bytes that jobs not yet taken hold: their content until it is deflated, their
  // deflate data after.
  int64_t HeldBytes();
  bool Empty();
  // Whether the oldest job can be taken without waiting.
  bool OldestDone();

  // Queues the content, whose CRC-32 the caller has taken, for the next free worker.
  void Add(TMemberInfo info, std::string bytes, uint32_t crc);
  // The oldest job's member, named, waiting for its worker; raises that worker's error.
  TPreparedZipItem TakeOldest();

 private:
  struct TJob {
    TMemberInfo Info;
    std::string Bytes;
    uint32_t Crc = 0;
    bool Done = false;
    TPreparedZipItem Item;
    std::exception_ptr Error;
  };

  void StopWorkers() noexcept;
  void Work();
  void Deflate(TJob& job);

  const TZipCompressionType compressionType_;
  std::mutex mutex_;
  std::condition_variable queued_;          // a job was added, or the queue stops
  TInterruptibleWait finished_;             // a job is done
  std::deque<std::unique_ptr<TJob>> jobs_;  // in the order added; the oldest first
  size_t started_ = 0;                      // jobs_[0 .. started_) are started
  int64_t heldBytes_ = 0;
  bool failed_ = false;
  std::atomic<bool> stopping_ = false;  // read by running deflates between output blocks
  std::vector<std::thread> workers_;
};

}  // namespace voltrane
