// A file written from start to end whose member content is deflated as it is written, so
// that the content is nearly ready for an archive the moment the file is complete: a file
// that only grows after all other work is done (the index) then costs little deflate at the
// end. Its last 2 to 4 MiB are deflated then on purpose: a build's workers are still busy
// with its last chunks at that moment, and the CPU this thread leaves idle meanwhile can
// take them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "rt/Stream.h"
#include "zip/ZipItem.h"
#include "zip/ZlibStream.h"

namespace voltrane {

class TDeflatingFileStream : public TFileStream {
 public:
  // Creates the file at path anew, and the spill file that takes its deflate data.
  TDeflatingFileStream(const std::string& path, const std::string& spillPath,
                       TZipCompressionType compressionType);

  // Writes to the file and deflates what was written.
  int64_t Write(const void* buffer, int64_t count) override;
  // The deflate data follows the file in order: only Seek(0, Current) is allowed.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;

  // After Close: the file's content as PrepareZipContent would have made it from the file,
  // byte for byte (method, CRC-32, size and the spilled deflate data; no name).
  TPreparedZipItem TakeContent();

 private:
  std::unique_ptr<TSpilledData> spilled_;
  TFileStream spill_;
  std::optional<TCompressionStream> deflater_;
  static constexpr size_t kLagLimit = 4 << 20;  // deflated once this much waits
  static constexpr size_t kLagKept = 2 << 20;   // all but this much
  std::string lagging_;                         // written, not yet deflated
  uint32_t crc_ = 0;
  int64_t written_ = 0;
};

}  // namespace voltrane
