#include "rt/Stream.h"

#include <algorithm>
#include <cstring>

#include "rt/Exception.h"

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
