// The second stream that a whole-archive rewrite fills: memory, or a temporary file in the
// user's temporary folder ($TMPDIR or /tmp; GetTempPathW) that is removed on every path.
#pragma once

#include <memory>
#include <string>

#include "rt/Stream.h"

namespace voltrane {

class TRebuildTarget {
 public:
  explicit TRebuildTarget(bool useTempFile);
  ~TRebuildTarget();
  TRebuildTarget(const TRebuildTarget&) = delete;
  TRebuildTarget& operator=(const TRebuildTarget&) = delete;

  TStream& Stream() { return file_ ? static_cast<TStream&>(*file_) : memory_; }
  bool IsMemory() const { return !file_; }

 private:
  std::unique_ptr<TFileStream> file_;
  TMemoryStream memory_;
};

}  // namespace voltrane
