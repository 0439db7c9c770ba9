// A member made from its content before it is appended: stored name, attributes, time,
// CRC-32, method, sizes and raw deflate data. Making one touches no archive, so members
// can be prepared ahead of appending them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "rt/DateTime.h"
#include "rt/Stream.h"
#include "zip/ZipRecords.h"
#include "zip/ZlibStream.h"

namespace voltrane {

// Raw deflate data that waits in a file of its own instead of memory: the file's Size
// bytes. The file is removed with this object, whatever it holds by then.
class TSpilledData {
 public:
  explicit TSpilledData(std::string path) : Path(std::move(path)) {}
  ~TSpilledData();
  TSpilledData(const TSpilledData&) = delete;
  TSpilledData& operator=(const TSpilledData&) = delete;

  const std::string Path;
  int64_t Size = 0;
};

struct TPreparedZipItem {
  std::string ItemName;    // as the caller gave it
  std::string StoredName;  // as the archive stores it
  uint16_t FileAttr = 0;
  TDateTime FileDate = 0;
  uint16_t Method = kMethodStored;
  uint32_t Crc32 = 0;
  int64_t UncompressedSize = 0;
  std::string Data;  // raw deflate data, empty for a stored (empty) member or when spilled
  std::unique_ptr<TSpilledData> Spilled;  // the raw deflate data when it waits in a file

  int64_t CompressedSize() const { return Spilled ? Spilled->Size : int64_t(Data.size()); }
};

// Deflate data while a member is made: in memory, moved into a file of its own at the spill
// path once it passes kMemberInMemory bytes (without a spill path it stays in memory). Every
// member whose data may grow large goes through it: no other spill exists.
class TSpillingOutput : public TStream {
 public:
  static constexpr int64_t kMemberInMemory = 8 << 20;

  explicit TSpillingOutput(std::string spillPath) : spillPath_(std::move(spillPath)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Only Seek(0, Current) and a seek to the end: the data only grows.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Hands the data to the item (Data or Spilled); closing the file raises its error.
  void MoveInto(TPreparedZipItem& item);

 private:
  const std::string spillPath_;
  std::string memory_;
  std::unique_ptr<TSpilledData> spilled_;
  std::unique_ptr<TFileStream> file_;
  int64_t size_ = 0;
};

// The zlib level of a member's compression type.
TCompressionLevel LevelOf(TZipCompressionType type);

// Current: content bytes compressed so far; Total: the content's size.
using TItemProgress = std::function<void(int64_t current, int64_t total)>;

// Content up to this size is read with one read and deflated with one write; larger
// content (an index of a very large source) goes through in blocks of kContentBlock bytes,
// so that memory does not grow with it. Deflate gives the same bytes either way.
constexpr int64_t kOneWriteLimit = 8 << 20;
constexpr int64_t kContentBlock = 1 << 20;

// A member's content read from the stream's position to its end: method (empty content is
// stored, anything else deflated at the level compressionType selects), CRC-32, size and
// deflate data, with the name, attributes and time left empty (NameZipItem sets them). With
// spillPath given, deflate data beyond kMemberInMemory goes into that file (created anew);
// the bytes are the same either way.
TPreparedZipItem PrepareZipContent(TStream& stream, TZipCompressionType compressionType,
                                   const TItemProgress& onProgress = {},
                                   const std::string& spillPath = {});
// The same for content in memory whose CRC-32 its writer knows: deflated where it lies.
TPreparedZipItem PrepareZipBytes(std::string_view bytes, uint32_t crc,
                                 TZipCompressionType compressionType,
                                 const TItemProgress& onProgress = {});
// The naming half: the name as given and as stored, attributes and time.
void NameZipItem(TPreparedZipItem& item, const std::string& itemName, uint16_t fileAttr,
                 TDateTime fileDate, bool storeRelativePath);

// Writes the member data to out, from memory or copied from its file in 64 KiB blocks.
void WriteItemData(const TPreparedZipItem& item, TStream& out);

// The member's records as the archive holds them, at the given local header offset.
TLocalFile MakeLocalFile(const TPreparedZipItem& item);
TCentralDirectoryFile MakeCentralFile(const TPreparedZipItem& item, int64_t offset);

// The local record, header, name and data, at the stream's position: every writer of an
// archive writes a member through this.
void WriteLocalRecord(TStream& out, const TLocalFile& local, const TPreparedZipItem& item);
// The end record of a directory of that many records and bytes at that offset.
TEndOfCentralDir MakeEndRecord(int64_t members, int64_t directorySize, int64_t directoryOffset,
                               size_t commentLength);

// The limits of the records as written: 16-bit counts and lengths, 32-bit sizes and offsets.
constexpr int64_t kMaxZipCount = 0xFFFF;
constexpr int64_t kMaxZipOffset = 0xFFFFFFFF;

// Which limit an archive of that many members would pass with a member of that name length
// and size, the archive then ending at archiveEnd ("" when none): "more than 65535 members"
// and the like, for the message of the writer that refuses the add.
std::string ExceededZipLimit(int64_t members, int64_t nameLength, int64_t uncompressedSize,
                             int64_t archiveEnd);

}  // namespace voltrane
