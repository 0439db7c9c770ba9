// A member made from its content before it is appended: stored name, attributes, time,
// CRC-32, method, sizes and raw deflate data. Making one touches no archive, so members
// can be prepared ahead of appending them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rt/DateTime.h"
#include "rt/Stream.h"
#include "zip/ZipRecords.h"

namespace voltrane {

struct TPreparedZipItem {
  std::string ItemName;    // as the caller gave it
  std::string StoredName;  // as the archive stores it
  uint16_t FileAttr = 0;
  TDateTime FileDate = 0;
  uint16_t Method = kMethodStored;
  uint32_t Crc32 = 0;
  int64_t UncompressedSize = 0;
  std::string Data;  // raw deflate data, empty for a stored (empty) member
};

// Current: content bytes compressed so far; Total: the content's size.
using TItemProgress = std::function<void(int64_t current, int64_t total)>;

// Reads the stream from its position to its end. Empty content is stored (method 0),
// anything else deflated (method 8) at the level compressionType selects; with
// storeRelativePath false only the part after the last "\", "/" or ":" is kept.
TPreparedZipItem PrepareZipItem(const std::string& itemName, uint16_t fileAttr, TDateTime fileDate,
                                TStream& stream, bool storeRelativePath,
                                TZipCompressionType compressionType,
                                const TItemProgress& onProgress = {});

// The member's records as the archive holds them, at the given local header offset.
TLocalFile MakeLocalFile(const TPreparedZipItem& item);
TCentralDirectoryFile MakeCentralFile(const TPreparedZipItem& item, int64_t offset);

// Standard CRC-32 of the bytes (0 for none).
uint32_t Crc32Of(const std::string& bytes);

// The limits of the records as written: 16-bit counts and lengths, 32-bit sizes and offsets.
constexpr int64_t kMaxZipCount = 0xFFFF;
constexpr int64_t kMaxZipOffset = 0xFFFFFFFF;

}  // namespace voltrane
