#include "zip/ZlibStream.h"

#include <algorithm>
#include <exception>
#include <limits>

namespace voltrane {

namespace {

int CheckZlibResult(int result) {
  if (result < 0) throw ECompressionError("Error");
  return result;
}

[[noreturn]] void InvalidOperation() {
  throw ECompressionError("Invalid stream operation");
}

}  // namespace

int ZlibLevel(TCompressionLevel level) {
  switch (level) {
    case TCompressionLevel::clNone:
      return 0;
    case TCompressionLevel::clFastest:
      return 1;
    case TCompressionLevel::clMax:
      return 9;
    case TCompressionLevel::clDefault:
      break;
  }
  return Z_DEFAULT_COMPRESSION;
}

TCustomZlibStream::TCustomZlibStream(TStream& destination)
    : destination_(destination), destinationPosition_(destination.Position()) {
  zstream_.next_out = buffer_.data();
  zstream_.avail_out = uInt(kBufferSize);
}

void TCustomZlibStream::RestoreDestinationPosition() {
  if (destination_.Position() != destinationPosition_) {
    destination_.SetPosition(destinationPosition_);
  }
}

void TCustomZlibStream::FlushBuffer() {
  int64_t used = kBufferSize - int64_t(zstream_.avail_out);
  if (used > 0) destination_.WriteBuffer(buffer_.data(), used);
  zstream_.next_out = buffer_.data();
  zstream_.avail_out = uInt(kBufferSize);
  destinationPosition_ = destination_.Position();
}

TCompressionStream::TCompressionStream(TCompressionLevel level, TStream& destination,
                                       TDeflateFormat format)
    : TCustomZlibStream(destination) {
  // zlib's own defaults for the window (32 KiB) and memory level, in either format.
  int windowBits = format == TDeflateFormat::Raw ? -MAX_WBITS : MAX_WBITS;
  CheckZlibResult(
      deflateInit2(&zstream_, ZlibLevel(level), Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY));
  zlibLive_ = true;
}

TCompressionStream::~TCompressionStream() {
  ReleaseZlib();
}

void TCompressionStream::ReleaseZlib() {
  if (zlibLive_) deflateEnd(&zstream_);  // its result tells nothing worth acting on
  zlibLive_ = false;
}

void TCompressionStream::Finish() {
  if (finished_) return;
  finished_ = true;
  try {
    zstream_.next_in = nullptr;
    zstream_.avail_in = 0;
    RestoreDestinationPosition();
    while (CheckZlibResult(deflate(&zstream_, Z_FINISH)) != Z_STREAM_END &&
           zstream_.avail_out == 0) {
      FlushBuffer();
    }
    FlushBuffer();
  } catch (...) {
    ReleaseZlib();
    throw;
  }
  ReleaseZlib();
}

int64_t TCompressionStream::Read(void*, int64_t) {
  InvalidOperation();
}

int64_t TCompressionStream::Write(const void* buffer, int64_t count) {
  if (finished_) InvalidOperation();
  const Bytef* in = static_cast<const Bytef*>(buffer);
  RestoreDestinationPosition();
  // zlib counts input in 32 bits, so larger buffers go in slices (still without copying).
  for (int64_t left = count; left > 0;) {
    uInt slice = uInt(std::min<int64_t>(left, std::numeric_limits<uInt>::max()));
    zstream_.next_in = const_cast<Bytef*>(in);
    zstream_.avail_in = slice;
    while (zstream_.avail_in > 0) {
      CheckZlibResult(deflate(&zstream_, Z_NO_FLUSH));
      consumed_ += slice - zstream_.avail_in;
      slice = zstream_.avail_in;
      if (zstream_.avail_out == 0) {
        FlushBuffer();
        if (OnProgress) OnProgress(*this);
      }
    }
    in += zstream_.next_in - in;
    left = count - (in - static_cast<const Bytef*>(buffer));
  }
  return count;
}

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset != 0 || origin != TSeekOrigin::Current) InvalidOperation();
  return int64_t(consumed_);
}

}  // namespace voltrane
