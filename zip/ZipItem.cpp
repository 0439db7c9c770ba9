#include "zip/ZipItem.h"

#include <algorithm>
#include <memory>

#include "rt/Path.h"
#include "util/Crc32.h"
#include "zip/ZipNames.h"
#include "zip/ZlibStream.h"

namespace voltrane {

TCompressionLevel LevelOf(TZipCompressionType type) {
  switch (type) {
    case TZipCompressionType::ctMaximum:
      return TCompressionLevel::clMax;
    case TZipCompressionType::ctFast:
    case TZipCompressionType::ctSuperFast:
      return TCompressionLevel::clFastest;
    case TZipCompressionType::ctNone:
      return TCompressionLevel::clNone;
    case TZipCompressionType::ctNormal:
    case TZipCompressionType::ctUnknown:
      break;
  }
  return TCompressionLevel::clDefault;
}

namespace {

// Without folders: the part after the last "\", "/" or ":".
std::string NameWithoutPath(const std::string& name) {
  size_t cut = name.find_last_of("\\/:");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

}  // namespace

TSpilledData::~TSpilledData() {
  RemoveFile(Path);
}

int64_t TSpillingOutput::Read(void*, int64_t) {
  throw ECompressionError("Invalid stream operation");
}

int64_t TSpillingOutput::Write(const void* buffer, int64_t count) {
  if (!file_ && !spillPath_.empty() && size_ + count > kMemberInMemory) {
    spilled_ = std::make_unique<TSpilledData>(spillPath_);  // removed on a failure too
    file_ = std::make_unique<TFileStream>(spillPath_, TFileMode::Create);
    file_->WriteString(memory_);
    std::string().swap(memory_);
  }
  if (file_)
    file_->WriteBuffer(buffer, count);
  else
    memory_.append(static_cast<const char*>(buffer), size_t(count));
  size_ += count;
  return count;
}

int64_t TSpillingOutput::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset != 0 || origin == TSeekOrigin::Beginning)
    throw ECompressionError("Invalid stream operation");
  return size_;
}

void TSpillingOutput::MoveInto(TPreparedZipItem& item) {
  if (!file_) {
    item.Data = std::move(memory_);
    return;
  }
  file_->Close();
  file_.reset();
  spilled_->Size = size_;
  item.Spilled = std::move(spilled_);
}

namespace {

// Method, size and deflate data of size bytes that feed writes to the deflater it is given
// and whose CRC-32 it returns.
template <class Feed>
TPreparedZipItem DeflateContent(int64_t size, TZipCompressionType compressionType,
                                const TItemProgress& onProgress, const std::string& spillPath,
                                Feed feed) {
  TPreparedZipItem item;
  item.UncompressedSize = size;
  if (size == 0) return item;

  item.Method = kMethodDeflated;
  TSpillingOutput output(spillPath);
  TCompressionStream deflater(LevelOf(compressionType), output, TDeflateFormat::Raw);
  if (onProgress) {
    deflater.OnProgress = [&onProgress, size](TCustomZlibStream& sender) {
      onProgress(sender.Position(), size);
    };
  }
  item.Crc32 = feed(deflater);
  deflater.Finish();
  output.MoveInto(item);
  return item;
}

}  // namespace

TPreparedZipItem PrepareZipContent(TStream& stream, TZipCompressionType compressionType,
                                   const TItemProgress& onProgress, const std::string& spillPath) {
  int64_t size = std::max<int64_t>(stream.Size() - stream.Position(), 0);
  return DeflateContent(size, compressionType, onProgress, spillPath, [&](TStream& deflater) {
    int64_t block = size <= kOneWriteLimit ? size : kContentBlock;
    std::string content(size_t(block), '\0');
    uint32_t crc = 0;
    for (int64_t left = size; left > 0;) {
      int64_t n = std::min(left, block);
      stream.ReadBuffer(content.data(), n);
      crc = Crc32Of(std::string_view(content.data(), size_t(n)), crc);
      deflater.WriteBuffer(content.data(), n);
      left -= n;
    }
    return crc;
  });
}

TPreparedZipItem PrepareZipBytes(std::string_view bytes, uint32_t crc,
                                 TZipCompressionType compressionType,
                                 const TItemProgress& onProgress) {
  return DeflateContent(int64_t(bytes.size()), compressionType, onProgress, "",
                        [&](TStream& deflater) {
                          deflater.WriteBuffer(bytes.data(), int64_t(bytes.size()));
                          return crc;
                        });
}

void NameZipItem(TPreparedZipItem& item, const std::string& itemName, uint16_t fileAttr,
                 TDateTime fileDate, bool storeRelativePath) {
  item.ItemName = itemName;
  item.StoredName = ToZipName(storeRelativePath ? itemName : NameWithoutPath(itemName));
  item.FileAttr = fileAttr;
  item.FileDate = fileDate;
}

void WriteItemData(const TPreparedZipItem& item, TStream& out) {
  if (!item.Spilled) {
    out.WriteString(item.Data);
    return;
  }
  if (item.Spilled->Size <= 0) return;
  TFileStream spill(item.Spilled->Path, TFileMode::OpenRead);
  out.CopyFrom(spill, item.Spilled->Size);  // in 64 KiB blocks
}

TLocalFile MakeLocalFile(const TPreparedZipItem& item) {
  TLocalFile local;
  local.LocalFileHeaderSignature = kLocalFileSignature;
  local.VersionNeededToExtract = kZipVersion;
  local.CompressionMethod = item.Method;
  TDosDateTime dos = DateTimeToDos(item.FileDate);
  local.LastModFileTime = dos.Time;
  local.LastModFileDate = dos.Date;
  local.Crc32 = item.Crc32;
  local.CompressedSize = uint32_t(item.CompressedSize());
  local.UncompressedSize = uint32_t(item.UncompressedSize);
  local.FileNameLength = uint16_t(item.StoredName.size());
  local.FileName = item.StoredName;
  // Names beyond ASCII are UTF-8 here; without the flag extractors read them as code page
  // 437. ASCII names keep flags 0, as every archive before had them.
  for (char c : item.StoredName)
    if (uint8_t(c) >= 0x80) local.GeneralPurposeBitFlag = kFlagUtf8Name;
  return local;
}

TCentralDirectoryFile MakeCentralFile(const TPreparedZipItem& item, int64_t offset) {
  return CentralRecordFor(MakeLocalFile(item), item.FileAttr, offset);
}

void WriteLocalRecord(TStream& out, const TLocalFile& local, const TPreparedZipItem& item) {
  out.WriteString(EncodeLocalHeader(local) + local.FileName);
  WriteItemData(item, out);
}

TEndOfCentralDir MakeEndRecord(int64_t members, int64_t directorySize, int64_t directoryOffset,
                               size_t commentLength) {
  TEndOfCentralDir end;
  end.EndOfCentralDirSignature = kEndOfCentralDirSignature;
  end.TotalNumberOfEntriesInTheCentralDirectoryOnThisDisk = uint16_t(members);
  end.TotalNumberOfEntriesInTheCentralDirectory = uint16_t(members);
  end.SizeOfTheCentralDirectory = uint32_t(directorySize);
  end.OffsetOfStartOfCentralDirectory = uint32_t(directoryOffset);
  end.ZipFileCommentLength = uint16_t(commentLength);
  return end;
}

std::string ExceededZipLimit(int64_t members, int64_t nameLength, int64_t uncompressedSize,
                             int64_t archiveEnd) {
  if (members > kMaxZipCount) return "more than 65535 members";
  if (nameLength > kMaxZipCount) return "a member name longer than 65535 bytes";
  if (uncompressedSize > kMaxZipOffset || archiveEnd > kMaxZipOffset)
    return "sizes and offsets beyond 4294967295 bytes (4 GiB)";
  return "";
}

}  // namespace voltrane
