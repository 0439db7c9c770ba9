// A write-only stream that deflates everything written to it into a destination stream.
// The output is a complete zlib stream (2-byte header, deflate data, Adler-32 trailer), or
// the deflate data alone, as a ZIP member holds it.
#pragma once

#include <zlib.h>

#include <array>
#include <cstdint>
#include <functional>

#include "rt/Exception.h"
#include "rt/Stream.h"

namespace voltrane {

VOLTRANE_ERROR_KIND(EZlibError, Exception);
VOLTRANE_ERROR_KIND(ECompressionError, EZlibError);

enum class TCompressionLevel { clNone, clFastest, clDefault, clMax };

// Raw leaves out the header and the trailer, and so the Adler-32 sum nobody would read.
enum class TDeflateFormat { Zlib, Raw };

// The zlib level a compression level stands for.
int ZlibLevel(TCompressionLevel level);

class TCustomZlibStream : public TStream {
 public:
  static constexpr int64_t kBufferSize = 65536;

  std::function<void(TCustomZlibStream& sender)> OnProgress;

 protected:
  explicit TCustomZlibStream(TStream& destination);
  ~TCustomZlibStream() override = default;

  // Puts the destination back where this stream left it, should somebody have moved it.
  void RestoreDestinationPosition();
  // Hands the used part of the output buffer to the destination and empties the buffer.
  void FlushBuffer();

  TStream& destination_;
  int64_t destinationPosition_;
  z_stream zstream_{};
  std::array<Bytef, kBufferSize> buffer_;
};

class TCompressionStream : public TCustomZlibStream {
 public:
  TCompressionStream(TCompressionLevel level, TStream& destination,
                     TDeflateFormat format = TDeflateFormat::Zlib);
  // Releases zlib without finishing: a stream not finished is abandoned, never completed
  // where nobody could be told of a failure.
  ~TCompressionStream() override;

  // Finishes the zlib stream and writes what remains, raising any failure; Write is not
  // allowed afterwards. Output is complete only after it.
  void Finish();

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Only Seek(0, Current) is allowed: it gives the number of bytes written so far.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

 private:
  void ReleaseZlib();

  bool finished_ = false;
  bool zlibLive_ = false;
  uint64_t consumed_ = 0;
};

}  // namespace voltrane
