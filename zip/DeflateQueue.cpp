#include "zip/DeflateQueue.h"

#include "rt/Threads.h"

namespace voltrane {

namespace {

// Thrown inside a worker to drop its job when the queue stops; never leaves the worker.
struct TCancelled {};

}  // namespace

TDeflateQueue::TDeflateQueue(int workers, TZipCompressionType compressionType)
    : compressionType_(compressionType) {
  try {
    for (int i = 0; i < workers; ++i) workers_.push_back(StartWorkerThread([this] { Work(); }));
  } catch (...) {
    StopWorkers();
    throw;
  }
}

TDeflateQueue::~TDeflateQueue() {
  StopWorkers();
}

void TDeflateQueue::StopWorkers() noexcept {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

int64_t TDeflateQueue::HeldBytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return heldBytes_;
}

bool TDeflateQueue::Empty() {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.empty();
}

bool TDeflateQueue::OldestDone() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !jobs_.empty() && jobs_.front()->Done;
}

void TDeflateQueue::Add(TMemberInfo info, std::string bytes, uint32_t crc) {
  auto job = std::make_unique<TJob>();
  job->Info = std::move(info);
  job->Bytes = std::move(bytes);
  job->Crc = crc;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    heldBytes_ += int64_t(job->Bytes.size());
    jobs_.push_back(std::move(job));
  }
  queued_.notify_one();
}

TPreparedZipItem TDeflateQueue::TakeOldest() {
  std::unique_lock<std::mutex> lock(mutex_);
  // Jobs start oldest first and none starts after a failure, so the oldest is running or
  // done whenever an older one failed: this wait always ends.
  while (!jobs_.front()->Done) {
    lock.unlock();
    finished_.Wait();
    lock.lock();
  }
  std::unique_ptr<TJob> job = std::move(jobs_.front());
  jobs_.pop_front();
  --started_;
  heldBytes_ -= job->Item.CompressedSize();
  lock.unlock();
  if (job->Error) std::rethrow_exception(job->Error);
  NameZipItem(job->Item, job->Info.Name, job->Info.Attributes, job->Info.Time, true);
  return std::move(job->Item);
}

void TDeflateQueue::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || (!failed_ && started_ < jobs_.size()); });
    if (stopping_) return;
    TJob& job = *jobs_[started_++];
    lock.unlock();
    Deflate(job);
    lock.lock();
    heldBytes_ += job.Item.CompressedSize() - int64_t(job.Bytes.size());
    std::string().swap(job.Bytes);
    job.Done = true;
    if (job.Error) failed_ = true;  // the run ends at this member: more work would be waste
    finished_.Notify();
  }
}

void TDeflateQueue::Deflate(TJob& job) {
  auto checkStop = [this](int64_t, int64_t) {
    if (stopping_) throw TCancelled();
  };
  try {
    job.Item = PrepareZipBytes(job.Bytes, job.Crc, compressionType_, checkStop);
  } catch (const TCancelled&) {
    // The queue is going away; nobody takes this job.
  } catch (...) {
    job.Error = std::current_exception();
  }
}

}  // namespace voltrane
