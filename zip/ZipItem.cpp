#include "zip/ZipItem.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>

#include "zip/ZipNames.h"
#include "zip/ZlibStream.h"

namespace voltrane {

namespace {

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

// Without folders: the part after the last "\", "/" or ":".
std::string NameWithoutPath(const std::string& name) {
  size_t cut = name.find_last_of("\\/:");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

constexpr int64_t kZlibHeaderSize = 2;
constexpr int64_t kZlibTrailerSize = 4;

}  // namespace

uint32_t Crc32Of(const std::string& bytes) {
  uLong crc = crc32(0, Z_NULL, 0);
  const Bytef* data = reinterpret_cast<const Bytef*>(bytes.data());
  for (size_t left = bytes.size(); left > 0;) {
    uInt slice = uInt(std::min<size_t>(left, std::numeric_limits<uInt>::max()));
    crc = crc32(crc, data, slice);
    data += slice;
    left -= slice;
  }
  return uint32_t(crc);
}

TPreparedZipItem PrepareZipItem(const std::string& itemName, uint16_t fileAttr, TDateTime fileDate,
                                TStream& stream, bool storeRelativePath,
                                TZipCompressionType compressionType,
                                const TItemProgress& onProgress) {
  TPreparedZipItem item;
  item.ItemName = itemName;
  item.StoredName = ToZipName(storeRelativePath ? itemName : NameWithoutPath(itemName));
  item.FileAttr = fileAttr;
  item.FileDate = fileDate;
  std::string content = stream.ReadRest();
  item.UncompressedSize = int64_t(content.size());
  if (content.empty()) return item;

  item.Method = kMethodDeflated;
  item.Crc32 = Crc32Of(content);
  TMemoryStream zlibOutput;
  {
    TCompressionStream deflater(LevelOf(compressionType), zlibOutput);
    if (onProgress) {
      int64_t total = item.UncompressedSize;
      deflater.OnProgress = [&onProgress, total](TCustomZlibStream& sender) {
        onProgress(sender.Position(), total);
      };
    }
    deflater.WriteBuffer(content.data(), int64_t(content.size()));
    deflater.Finish();
  }
  // Members hold raw deflate data: without the zlib header and the Adler-32 trailer.
  std::string& output = zlibOutput.DataString();
  item.Data = output.substr(kZlibHeaderSize, output.size() - kZlibHeaderSize - kZlibTrailerSize);
  return item;
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
  local.CompressedSize = uint32_t(item.Data.size());
  local.UncompressedSize = uint32_t(item.UncompressedSize);
  local.FileNameLength = uint16_t(item.StoredName.size());
  local.FileName = item.StoredName;
  return local;
}

TCentralDirectoryFile MakeCentralFile(const TPreparedZipItem& item, int64_t offset) {
  return CentralRecordFor(MakeLocalFile(item), item.FileAttr, offset);
}

}  // namespace voltrane
