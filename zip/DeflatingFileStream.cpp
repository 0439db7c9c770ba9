#include "zip/DeflatingFileStream.h"

#include "util/Crc32.h"

namespace voltrane {

TDeflatingFileStream::TDeflatingFileStream(const std::string& path, const std::string& spillPath,
                                           TZipCompressionType compressionType)
    : TFileStream(path, TFileMode::Create),
      spilled_(std::make_unique<TSpilledData>(spillPath)),
      spill_(spillPath, TFileMode::Create) {
  deflater_.emplace(LevelOf(compressionType), spill_, TDeflateFormat::Raw);
}

int64_t TDeflatingFileStream::Write(const void* buffer, int64_t count) {
  if (!deflater_) throw ECompressionError("Invalid stream operation");
  int64_t n = TFileStream::Write(buffer, count);
  crc_ = Crc32Of(std::string_view(static_cast<const char*>(buffer), size_t(n)), crc_);
  lagging_.append(static_cast<const char*>(buffer), size_t(n));
  if (lagging_.size() >= kLagLimit) {
    size_t ready = lagging_.size() - kLagKept;
    deflater_->WriteBuffer(lagging_.data(), int64_t(ready));
    lagging_.erase(0, ready);
  }
  written_ += n;
  return n;
}

int64_t TDeflatingFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset != 0 || origin != TSeekOrigin::Current)
    throw ECompressionError("Invalid stream operation");
  return written_;
}

void TDeflatingFileStream::SetSize(int64_t) {
  throw ECompressionError("Invalid stream operation");
}

TPreparedZipItem TDeflatingFileStream::TakeContent() {
  if (!deflater_) throw ECompressionError("Invalid stream operation");
  deflater_->WriteString(lagging_);
  std::string().swap(lagging_);
  deflater_->Finish();
  deflater_.reset();
  TPreparedZipItem item;
  item.UncompressedSize = written_;
  if (written_ == 0) return item;  // empty content is stored, as PrepareZipContent does
  item.Method = kMethodDeflated;
  item.Crc32 = crc_;
  spilled_->Size = spill_.Size();
  spill_.Close();
  item.Spilled = std::move(spilled_);
  return item;
}

}  // namespace voltrane
