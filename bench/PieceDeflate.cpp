#include "bench/PieceDeflate.h"

#include <zlib.h>

#include <chrono>

#include "bench/ToolSupport.h"

namespace voltrane {

namespace {

std::string ZlibFailure(const char* call, int code, const z_stream& stream) {
  return std::string(call) + " failed (" + std::to_string(code) + ")" +
         (stream.msg ? std::string(": ") + stream.msg : std::string());
}

// The zlib state, released on every path.
class TDeflater {
 public:
  TDeflater() {
    int code = deflateInit2(&stream_, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    if (code != Z_OK) throw EBenchError(ZlibFailure("deflateInit2", code, stream_));
  }
  ~TDeflater() { deflateEnd(&stream_); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_{};
};

// Reads until count bytes or the end of the source.
int64_t ReadPiece(TStream& source, char* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    int64_t n = source.Read(buffer + done, count - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

}  // namespace

size_t RawDeflate(const char* data, size_t size, std::string& buffer) {
  TDeflater deflater;
  z_stream& z = deflater.Stream();
  size_t bound = deflateBound(&z, uLong(size));
  if (buffer.size() < bound) buffer.resize(bound);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  z.avail_in = uInt(size);
  z.next_out = reinterpret_cast<Bytef*>(buffer.data());
  z.avail_out = uInt(buffer.size());
  int code = deflate(&z, Z_FINISH);
  if (code != Z_STREAM_END) throw EBenchError(ZlibFailure("deflate", code, z));
  return z.total_out;
}

TDeflateFloor DeflateInPieces(TStream& source, int64_t pieceBytes,
                              const std::function<void(std::string_view)>& onPiece) {
  using TClock = std::chrono::steady_clock;
  TDeflateFloor floor;
  std::string piece(size_t(pieceBytes), '\0'), compressed;
  TClock::duration spent{};
  while (int64_t length = ReadPiece(source, piece.data(), pieceBytes)) {
    TClock::time_point start = TClock::now();
    size_t compressedLength = RawDeflate(piece.data(), size_t(length), compressed);
    spent += TClock::now() - start;
    ++floor.Pieces;
    floor.SourceBytes += length;
    floor.CompressedBytes += int64_t(compressedLength);
    if (onPiece) onPiece(std::string_view(compressed.data(), compressedLength));
  }
  floor.DeflateSeconds = std::chrono::duration<double>(spent).count();
  return floor;
}

}  // namespace voltrane
