#include "zip/DataDescriptor.h"

#include <zlib.h>

#include <memory>
#include <string>

#include "zip/ZipRecords.h"

namespace voltrane {

namespace {

constexpr int64_t kBlock = 65536;

uint32_t U32At(const char* bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// Inflates from the stream's position, discarding the output; the compressed size, or -1.
int64_t DeflateDataSize(TStream& stream) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return -1;
  std::unique_ptr<char[]> in(new char[kBlock]), out(new char[kBlock]);
  int64_t start = stream.Position();
  int result = Z_OK;
  while (result == Z_OK) {
    if (z.avail_in == 0) {
      z.avail_in = uInt(stream.Read(in.get(), kBlock));
      z.next_in = reinterpret_cast<Bytef*>(in.get());
      if (z.avail_in == 0) break;
    }
    z.next_out = reinterpret_cast<Bytef*>(out.get());
    z.avail_out = uInt(kBlock);
    result = inflate(&z, Z_NO_FLUSH);
  }
  int64_t size = result == Z_STREAM_END ? int64_t(z.total_in) : -1;
  inflateEnd(&z);
  if (size >= 0) stream.SetPosition(start + size);
  return size;
}

// Searches forward for a descriptor signature whose compressed size field equals the bytes
// before it; the compressed size, or -1.
int64_t StoredDataSize(TStream& stream) {
  int64_t start = stream.Position();
  std::string window;
  int64_t windowStart = start;
  std::unique_ptr<char[]> block(new char[kBlock]);
  for (;;) {
    int64_t n = stream.Read(block.get(), kBlock);
    if (n <= 0) return -1;
    window.append(block.get(), size_t(n));
    for (size_t at = 0; at + kDataDescriptorSize <= window.size(); ++at) {
      const char* candidate = window.data() + at;
      int64_t size = windowStart + int64_t(at) - start;
      if (U32At(candidate) == kDataDescriptorSignature && U32At(candidate + 8) == size) {
        stream.SetPosition(start + size);
        return size;
      }
    }
    // Keep the tail that could still begin a descriptor.
    size_t keep = size_t(kDataDescriptorSize - 1);
    if (window.size() > keep) {
      windowStart += int64_t(window.size() - keep);
      window.erase(0, window.size() - keep);
    }
  }
}

}  // namespace

bool ReadThroughDataDescriptor(TStream& stream, uint16_t method, TDescriptorValues& values) {
  int64_t size = method == kMethodDeflated ? DeflateDataSize(stream)
                 : method == kMethodStored ? StoredDataSize(stream)
                                           : -1;
  if (size < 0) return false;
  char descriptor[kDataDescriptorSize];
  if (stream.Read(descriptor, kDataDescriptorSize) != kDataDescriptorSize ||
      U32At(descriptor) != kDataDescriptorSignature || U32At(descriptor + 8) != size) {
    return false;
  }
  values.Crc32 = U32At(descriptor + 4);
  values.CompressedSize = U32At(descriptor + 8);
  values.UncompressedSize = U32At(descriptor + 12);
  return true;
}

}  // namespace voltrane
