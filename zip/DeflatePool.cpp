#include "zip/DeflatePool.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "rt/Exception.h"
#include "rt/Interrupt.h"
#include "rt/Path.h"
#include "rt/Stream.h"

namespace voltrane {

namespace {

// Thrown inside a worker to drop the file it is on when the pool stops; never leaves it.
struct TCancelled {};

// Blocks the stop signals on this thread for a scope; threads started meanwhile keep them
// blocked, so a signal interrupts the caller's blocking calls and not a worker's.
class TStopSignalsBlocked {
 public:
  TStopSignalsBlocked() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&blocked, signal);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
  }
  ~TStopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  TStopSignalsBlocked(const TStopSignalsBlocked&) = delete;
  TStopSignalsBlocked& operator=(const TStopSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace

int UsableCpuCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

TDeflatePool::TDeflatePool(std::string spillFolder, int threadCount,
                           TZipCompressionType compressionType)
    : spillFolder_(IncludeTrailingPathDelimiter(spillFolder)), compressionType_(compressionType) {
  if (::mkdir(spillFolder_.c_str(), 0777) == 0) {
    madeSpillFolder_ = true;
  } else if (errno != EEXIST) {
    throw EFCreateFolderError(spillFolder_, errno);
  }
  int count = threadCount > 0 ? threadCount : UsableCpuCount();
  TStopSignalsBlocked blocked;
  try {
    for (int i = 0; i < count; ++i) workers_.emplace_back(&TDeflatePool::Work, this);
  } catch (...) {
    StopWorkers();
    if (madeSpillFolder_) ::rmdir(spillFolder_.c_str());
    throw;
  }
}

TDeflatePool::~TDeflatePool() {
  StopWorkers();
  jobs_.clear();  // removes the spill files that nobody took
  if (madeSpillFolder_) ::rmdir(spillFolder_.c_str());
}

void TDeflatePool::StopWorkers() noexcept {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
}

void TDeflatePool::Submit(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  Queue(path, std::nullopt, 0);
}

void TDeflatePool::Submit(const std::string& path, std::string bytes, uint32_t crc) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (bytesHeld_ > ThreadCount() && !failed_) {
    // A stop signal reaches this thread, not the workers: no wait may outlast it.
    finished_.wait_for(lock, std::chrono::milliseconds(50));
    CheckInterrupted();
  }
  // After a failure nothing more is deflated ahead; the file stays for the caller.
  if (failed_) return;
  Queue(path, std::move(bytes), crc);
}

void TDeflatePool::Adopt(const std::string& path, TPreparedZipItem content) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (jobs_.count(path) != 0) return;
  auto job = std::make_unique<TJob>();
  job->Path = path;
  job->State = TJobState::Done;
  job->Stamp = StampOf(path);
  job->Item = std::move(content);
  jobs_.emplace(path, std::move(job));
}

std::string TDeflatePool::TakeSpareBuffer() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (spareBuffers_.empty()) return {};
  std::string buffer = std::move(spareBuffers_.back());
  spareBuffers_.pop_back();
  return buffer;
}

std::string TDeflatePool::NewSpillPath() {
  std::lock_guard<std::mutex> lock(mutex_);
  return spillFolder_ + std::to_string(jobsSubmitted_++) + ".deflate";
}

void TDeflatePool::Queue(const std::string& path, std::optional<std::string> bytes, uint32_t crc) {
  if (jobs_.count(path) != 0) return;
  auto job = std::make_unique<TJob>();
  job->Path = path;
  job->SpillPath = spillFolder_ + std::to_string(jobsSubmitted_++) + ".deflate";
  if (bytes) {
    // The caller has just closed the file: what it hands over is what the file holds now.
    job->Stamp = StampOf(path);
    job->Bytes = std::move(bytes);
    job->Crc = crc;
    ++bytesHeld_;
  }
  queue_.push_back(job.get());
  jobs_.emplace(path, std::move(job));
  queued_.notify_one();
}

std::optional<TPreparedZipItem> TDeflatePool::Take(const std::string& path) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto found = jobs_.find(path);
  if (found == jobs_.end()) return std::nullopt;
  TJob& job = *found->second;
  if (job.State == TJobState::Queued) {
    // The caller, which would only wait, prepares it itself.
    queue_.erase(std::find(queue_.begin(), queue_.end(), &job));
    if (job.Bytes) --bytesHeld_;
    jobs_.erase(found);
    finished_.notify_all();
    return std::nullopt;
  }
  while (job.State != TJobState::Done) {
    // Rather than wait for the workers, this thread deflates a file none of them started
    // (the last ones of a build would otherwise leave a CPU idle).
    if (!queue_.empty() && !failed_)
      RunOldestJob(lock);
    else  // a stop signal reaches this thread, not the workers: no wait may outlast it
      finished_.wait_for(lock, std::chrono::milliseconds(50));
    CheckInterrupted();
  }
  std::unique_ptr<TJob> done = std::move(found->second);
  jobs_.erase(found);
  lock.unlock();

  if (StampOf(path) != done->Stamp) return std::nullopt;  // what was read is out of date
  if (done->Error) std::rethrow_exception(done->Error);
  return std::move(done->Item);
}

void TDeflatePool::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [this] { return running_ == 0 && (queue_.empty() || failed_); });
}

TDeflatePool::TFileStamp TDeflatePool::StampOf(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return {};
  return {true, int64_t(info.st_size), int64_t(info.st_mtim.tv_sec), int64_t(info.st_mtim.tv_nsec)};
}

void TDeflatePool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || failed_ || !queue_.empty(); });
    if (stopping_ || failed_) break;
    RunOldestJob(lock);
  }
  finished_.notify_all();
}

void TDeflatePool::RunOldestJob(std::unique_lock<std::mutex>& lock) {
  TJob& job = *queue_.front();
  queue_.pop_front();
  job.State = TJobState::Running;
  ++running_;
  lock.unlock();
  Prepare(job);
  lock.lock();
  --running_;
  if (job.Bytes) {
    // No more buffers come back than can be out at once, however few are taken.
    if (int(spareBuffers_.size()) <= ThreadCount()) {
      job.Bytes->clear();
      spareBuffers_.push_back(std::move(*job.Bytes));
    }
    job.Bytes.reset();
    --bytesHeld_;
  }
  job.State = TJobState::Done;
  // The run fails at this file anyway: starting more would only waste time and disk.
  if (job.Error) failed_ = true;
  finished_.notify_all();
}

void TDeflatePool::Prepare(TJob& job) {
  auto checkStop = [this](int64_t, int64_t) {
    if (stopping_) throw TCancelled();
    CheckInterrupted();
  };
  try {
    if (job.Bytes) {
      job.Item = PrepareZipBytes(*job.Bytes, job.Crc, compressionType_, checkStop, job.SpillPath);
    } else {
      // Taken before the read, so that any later change shows up as a different stamp.
      job.Stamp = StampOf(job.Path);
      TFileStream file(job.Path, TFileMode::OpenRead);
      job.Item = PrepareZipContent(file, compressionType_, checkStop, job.SpillPath);
    }
  } catch (const TCancelled&) {
    // The pool is going away; nobody will ask for this file.
  } catch (...) {
    job.Error = std::current_exception();
  }
}

}  // namespace voltrane
