#include "rt/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "rt/Exception.h"
#include "rt/Interrupt.h"

namespace voltrane {

void TStream::SetSize(int64_t) {
  throw EStreamError("Stream does not support SetSize");
}

int64_t TStream::Size() {
  int64_t position = Position();
  int64_t size = Seek(0, TSeekOrigin::End);
  SetPosition(position);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::string TStream::ReadRest() {
  int64_t rest = Size() - Position();
  std::string data(size_t(std::max<int64_t>(rest, 0)), '\0');
  ReadBuffer(data.data(), int64_t(data.size()));
  return data;
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count <= 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int64_t kBlock = 65536;
  std::unique_ptr<char[]> block(new char[kBlock]);
  for (int64_t left = count; left > 0;) {
    int64_t n = std::min(left, kBlock);
    source.ReadBuffer(block.get(), n);
    WriteBuffer(block.get(), n);
    left -= n;
  }
  return count;
}

// --- TFileStream

TFileStream::TFileStream(const std::string& path, TFileMode mode) : path_(path) {
  int flags = mode == TFileMode::Create     ? O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC
              : mode == TFileMode::OpenRead ? O_RDONLY | O_CLOEXEC
                                            : O_RDWR | O_CLOEXEC;
  // Opening a FIFO waits for its writer; a signal ends that wait with EINTR.
  CheckInterrupted();
  while ((fd_ = ::open(path.c_str(), flags, 0666)) < 0 && errno == EINTR) CheckInterrupted();
  if (fd_ >= 0) return;
  if (mode == TFileMode::Create) throw EFCreateError(path, errno);
  throw EFOpenError(path, errno);
}

std::unique_ptr<TFileStream> TFileStream::CreateUnique(const std::string& prefix) {
  std::string name = prefix + "XXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) throw EFCreateError(name, errno);
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return std::unique_ptr<TFileStream>(new TFileStream(fd, name));
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

void TFileStream::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) throw EFWriteError(path_, errno);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  CheckInterrupted();
  char* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, out + done, size_t(count - done));
    if (n < 0) {
      if (errno == EINTR) {
        CheckInterrupted();
        continue;
      }
      throw EFReadError(path_, errno);
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

// Large writes go to the kernel in pieces of this size. Handed a multi-megabyte write at
// once, Linux fills the page cache with large folios, and that measured several times more
// system time than the same bytes in pieces (0.42 s against 0.06 s for 200 MB on a VM).
constexpr int64_t kWritePiece = 256 * 1024;

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  CheckInterrupted();
  const char* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, in + done, size_t(std::min(count - done, kWritePiece)));
    if (n < 0) {
      if (errno == EINTR) {
        CheckInterrupted();
        continue;
      }
      throw EFWriteError(path_, errno);
    }
    if (n == 0) throw EFWriteError(path_, ENOSPC);
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == TSeekOrigin::Beginning ? SEEK_SET
               : origin == TSeekOrigin::Current ? SEEK_CUR
                                                : SEEK_END;
  off_t result = ::lseek(fd_, off_t(offset), whence);
  if (result < 0) throw EFReadError(path_, errno);
  return int64_t(result);
}

void TFileStream::SetSize(int64_t size) {
  if (::ftruncate(fd_, off_t(size)) != 0) throw EFWriteError(path_, errno);
}

int64_t TFileStream::Size() {
  struct stat info;
  if (::fstat(fd_, &info) != 0) throw EFReadError(path_, errno);
  return int64_t(info.st_size);
}

void TFileStream::Sync() {
  if (::fsync(fd_) != 0 && errno != EINVAL) throw EFWriteError(path_, errno);
}

// --- TMemoryStream

static int64_t NewPosition(int64_t position, int64_t size, int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::Beginning ? 0
                 : origin == TSeekOrigin::Current ? position
                                                  : size;
  return std::max<int64_t>(0, base + offset);
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  int64_t n =
      std::clamp<int64_t>(int64_t(data_.size()) - position_, 0, std::max<int64_t>(count, 0));
  if (n > 0) std::memcpy(buffer, data_.data() + position_, size_t(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  size_t end = size_t(position_ + count);
  if (end > data_.size()) {
    if (size_t(position_) == data_.size()) {
      data_.append(static_cast<const char*>(buffer), size_t(count));
      position_ += count;
      return count;
    }
    data_.resize(end);
  }
  std::memcpy(data_.data() + position_, buffer, size_t(count));
  position_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = NewPosition(position_, int64_t(data_.size()), offset, origin);
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(size_t(std::max<int64_t>(size, 0)));
  position_ = std::min(position_, int64_t(data_.size()));
}

// --- TViewStream

int64_t TViewStream::Read(void* buffer, int64_t count) {
  int64_t n = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(count, 0));
  if (n > 0) std::memcpy(buffer, data_ + position_, size_t(n));
  position_ += n;
  return n;
}

int64_t TViewStream::Write(const void*, int64_t) {
  throw EWriteError("Stream write error");
}

int64_t TViewStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = NewPosition(position_, size_, offset, origin);
  return position_;
}

}  // namespace voltrane
