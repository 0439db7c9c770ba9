#include "zip/ArchiveReader.h"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "util/Crc32.h"
#include "zip/EndRecordSearch.h"
#include "zip/ZelZip.h"
#include "zip/ZipErrors.h"
#include "zip/ZipItem.h"

namespace voltrane {

namespace {

// A member's content read from the archive stream: stored bytes as they are, deflated ones
// inflated; the CRC-32 and size are compared with the directory's once the content ends.
class TMemberStream : public TStream {
 public:
  TMemberStream(TStream& archive, const std::string& archivePath, const TZelZipEntriesEntry& entry)
      : archive_(archive),
        name_(entry.CentralDirectoryFile.FileName),
        archivePath_(archivePath),
        method_(entry.CentralDirectoryFile.CompressionMethod),
        expectedCrc_(entry.CentralDirectoryFile.Crc32),
        expectedSize_(entry.CentralDirectoryFile.UncompressedSize),
        at_(entry.Offset() + kLocalHeaderSize + entry.LocalFile.FileNameLength +
            entry.LocalFile.ExtraFieldLength),
        left_(entry.CentralDirectoryFile.CompressedSize) {
    if (method_ == kMethodDeflated && inflateInit2(&z_, -MAX_WBITS) != Z_OK)
      throw EZipError("Cannot inflate \"" + name_ + "\": zlib could not start");
  }
  ~TMemberStream() override {
    if (method_ == kMethodDeflated) inflateEnd(&z_);
  }

  int64_t Read(void* buffer, int64_t count) override {
    if (position_ < size_) {  // read again after a seek back into the head
      if (position_ >= int64_t(head_.size()))
        throw EReadError("Cannot read \"" + name_ + "\" again beyond its first bytes");
      int64_t n = std::min(count, int64_t(head_.size()) - position_);
      std::copy_n(head_.data() + position_, n, static_cast<char*>(buffer));
      position_ += n;
      return n;
    }
    int64_t n = method_ == kMethodDeflated ? Inflate(buffer, count) : ReadStored(buffer, count);
    crc_ = Crc32Of(std::string_view(static_cast<const char*>(buffer), size_t(n)), crc_);
    if (size_ < kHeadKept)
      head_.append(static_cast<const char*>(buffer), size_t(std::min(n, kHeadKept - size_)));
    size_ += n;
    position_ = size_;
    if (n == 0 && !checked_) CheckEnd();
    return n;
  }
  int64_t Write(const void*, int64_t) override { throw EZipError("Invalid stream operation"); }
  // Forward anywhere; back only into the first bytes, where readers look for a byte order
  // mark or a signature before they start.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    int64_t target = origin == TSeekOrigin::Current     ? position_ + offset
                     : origin == TSeekOrigin::Beginning ? offset
                                                        : expectedSize_ + offset;
    if (target < 0 || (target < size_ && target > int64_t(head_.size())))
      throw EReadError("Cannot read \"" + name_ + "\" again beyond its first bytes");
    if (target <= size_) {
      position_ = target;
      return position_;
    }
    position_ = size_;
    std::string skipped(1 << 16, '\0');
    while (position_ < target) {
      int64_t n = Read(skipped.data(), std::min<int64_t>(target - position_, 1 << 16));
      if (n == 0) break;
    }
    return position_;
  }
  // As the directory gives it.
  int64_t Size() override { return expectedSize_; }

 private:
  int64_t ReadStored(void* buffer, int64_t count) {
    int64_t n = std::min(count, left_);
    if (n == 0) return 0;
    archive_.SetPosition(at_);
    archive_.ReadBuffer(buffer, n);
    at_ += n;
    left_ -= n;
    return n;
  }

  int64_t Inflate(void* buffer, int64_t count) {
    z_.next_out = static_cast<Bytef*>(buffer);
    z_.avail_out = uInt(std::min<int64_t>(count, 1 << 30));
    while (z_.avail_out > 0 && !ended_) {
      if (z_.avail_in == 0) {
        int64_t n = ReadStored(input_.data(), int64_t(input_.size()));
        if (n == 0) throw Damaged("its data ends before the deflate stream does");
        z_.next_in = input_.data();
        z_.avail_in = uInt(n);
      }
      int result = inflate(&z_, Z_NO_FLUSH);
      if (result == Z_STREAM_END)
        ended_ = true;
      else if (result != Z_OK)
        throw Damaged("its deflate data is damaged");
    }
    return int64_t(z_.next_out - static_cast<Bytef*>(buffer));
  }

  void CheckEnd() {
    checked_ = true;
    if (size_ != expectedSize_)
      throw Damaged("it holds " + std::to_string(size_) + " bytes, the directory says " +
                    std::to_string(expectedSize_));
    if (crc_ != expectedCrc_)
      throw Damaged("its CRC-32 is " + Crc32Text(crc_) + ", the directory says " +
                    Crc32Text(expectedCrc_));
  }

  EZipError Damaged(const std::string& why) const {
    return EZipError("\"" + name_ + "\" in \"" + archivePath_ + "\" is damaged: " + why);
  }

  TStream& archive_;
  const std::string name_;
  const std::string archivePath_;
  const uint16_t method_;
  const uint32_t expectedCrc_;
  const int64_t expectedSize_;
  int64_t at_;    // where the member's data goes on in the archive
  int64_t left_;  // of its data
  z_stream z_{};
  std::array<Bytef, 1 << 16> input_;
  bool ended_ = false;
  bool checked_ = false;
  uint32_t crc_ = 0;
  int64_t size_ = 0;  // of the content read so far
  static constexpr int64_t kHeadKept = 64;
  std::string head_;  // its first bytes
  int64_t position_ = 0;
};

}  // namespace

TArchiveReader::TArchiveReader(const std::string& path) : zip_(std::make_unique<TZelZip>()) {
  auto file = std::make_unique<TFileStream>(path, TFileMode::OpenRead);
  stream_ = file.get();
  // The component rebuilds a directory from the local headers when the end record is
  // missing; a checked archive needs its own.
  bool hasEndRecord = SearchEndRecord(*file) >= 0;
  file->SetPosition(0);
  zip_->SetFileName(path);
  zip_->OpenArchiveStream(std::move(file));
  isArchive_ = hasEndRecord && zip_->IsZipFile();
}

TArchiveReader::~TArchiveReader() = default;

bool TArchiveReader::IsArchive() const {
  return isArchive_;
}

int TArchiveReader::Count() const {
  return zip_->Entries().Count();
}

const std::string& TArchiveReader::Name(int member) const {
  return zip_->Entries()[member].CentralDirectoryFile.FileName;
}

uint32_t TArchiveReader::Crc32(int member) const {
  return zip_->Entries()[member].CentralDirectoryFile.Crc32;
}

int64_t TArchiveReader::Size(int member) const {
  return zip_->Entries()[member].CentralDirectoryFile.UncompressedSize;
}

int TArchiveReader::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (Name(i) == name) return i;
  return -1;
}

std::string TArchiveReader::RecordFault(int member) const {
  const TZelZipEntriesEntry& entry = zip_->Entries()[member];
  const TCentralDirectoryFile& central = entry.CentralDirectoryFile;
  const TLocalFile& local = entry.LocalFile;
  if (central.GeneralPurposeBitFlag & kFlagEncrypted) return "it is encrypted";
  if (central.CompressionMethod != kMethodStored && central.CompressionMethod != kMethodDeflated)
    return "its method " + std::to_string(central.CompressionMethod) +
           " is neither stored (0) nor deflated (8)";
  if (central.CompressedSize == 0xFFFFFFFF || central.UncompressedSize == 0xFFFFFFFF ||
      central.RelativeOffsetOfLocalHeader == 0xFFFFFFFF)
    return "it is a ZIP64 member, which this reader does not read";
  if (local.LocalFileHeaderSignature != kLocalFileSignature)
    return "no local header at byte " + std::to_string(central.RelativeOffsetOfLocalHeader);
  if (local.FileName != central.FileName)
    return "its local header names \"" + local.FileName + "\"";
  if (local.CompressionMethod != central.CompressionMethod)
    return "its local header gives another method";
  // With a data descriptor the values follow the data; the reader put them in the header.
  if (local.Crc32 != central.Crc32 || local.CompressedSize != central.CompressedSize ||
      local.UncompressedSize != central.UncompressedSize)
    return "its local header gives another CRC-32 or size than the directory";
  int64_t end = entry.Offset() + kLocalHeaderSize + local.FileNameLength + local.ExtraFieldLength +
                central.CompressedSize;
  if (end > zip_->EndRecord().OffsetOfStartOfCentralDirectory)
    return "its data runs into the central directory";
  return "";
}

std::unique_ptr<TStream> TArchiveReader::OpenMember(int member) {
  std::string fault = RecordFault(member);
  if (!fault.empty()) throw EZipError("Cannot read \"" + Name(member) + "\": " + fault);
  return std::make_unique<TMemberStream>(*stream_, zip_->FileName(), zip_->Entries()[member]);
}

}  // namespace voltrane
