// The three ZIP records as written (little-endian), the sizes derived from them, the
// compression type read back from a record, and MS-DOS dates and times.
#pragma once

#include <cstdint>
#include <string>

#include "rt/DateTime.h"

namespace voltrane {

enum class TZipCompressionType { ctNormal, ctMaximum, ctFast, ctSuperFast, ctNone, ctUnknown };

constexpr uint32_t kLocalFileSignature = 0x04034B50;        // "PK", 3, 4
constexpr uint32_t kCentralFileSignature = 0x02014B50;      // "PK", 1, 2
constexpr uint32_t kEndOfCentralDirSignature = 0x06054B50;  // "PK", 5, 6
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;   // "PK", 7, 8

constexpr int64_t kLocalHeaderSize = 30;
constexpr int64_t kCentralHeaderSize = 46;
constexpr int64_t kEndRecordSize = 22;
constexpr int64_t kDataDescriptorSize = 16;

constexpr uint16_t kZipVersion = 20;
constexpr uint16_t kZipVersionNtfsHost = 0x0A00 | kZipVersion;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint32_t kAttrFolder = 0x10;

struct TLocalFile {
  uint32_t LocalFileHeaderSignature = 0;  // kLocalFileSignature once read or made
  uint16_t VersionNeededToExtract = 0;
  uint16_t GeneralPurposeBitFlag = 0;
  uint16_t CompressionMethod = 0;
  uint16_t LastModFileTime = 0;
  uint16_t LastModFileDate = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  std::string FileName;
  std::string ExtraField;
  std::string CompressedData;
};

struct TCentralDirectoryFile {
  uint32_t CentralFileHeaderSignature = 0;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeededToExtract = 0;
  uint16_t GeneralPurposeBitFlag = 0;
  uint16_t CompressionMethod = 0;
  uint16_t LastModFileTime = 0;
  uint16_t LastModFileDate = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  uint16_t FileCommentLength = 0;
  uint16_t DiskNumberStart = 0;
  uint16_t InternalFileAttributes = 0;
  uint32_t ExternalFileAttributes = 0;
  uint32_t RelativeOffsetOfLocalHeader = 0;
  std::string FileName;
  std::string ExtraField;
  std::string FileComment;
};

struct TEndOfCentralDir {
  uint32_t EndOfCentralDirSignature = kEndOfCentralDirSignature;
  uint16_t NumberOfThisDisk = 0;
  uint16_t NumberOfTheDiskWithTheStartOfTheCentralDirectory = 0;
  uint16_t TotalNumberOfEntriesInTheCentralDirectoryOnThisDisk = 0;
  uint16_t TotalNumberOfEntriesInTheCentralDirectory = 0;
  uint32_t SizeOfTheCentralDirectory = 0;
  uint32_t OffsetOfStartOfCentralDirectory = 0;
  uint16_t ZipFileCommentLength = 0;
};

// The fixed parts as bytes (30, 46 and 22 bytes) and back; Decode* take exactly that many.
std::string EncodeLocalHeader(const TLocalFile& record);
std::string EncodeCentralHeader(const TCentralDirectoryFile& record);
std::string EncodeEndRecord(const TEndOfCentralDir& record);
TLocalFile DecodeLocalHeader(const char* bytes);
TCentralDirectoryFile DecodeCentralHeader(const char* bytes);
TEndOfCentralDir DecodeEndRecord(const char* bytes);

// A central record as it stands in the directory: fixed part, name, extra field, comment.
std::string EncodeCentralRecord(const TCentralDirectoryFile& record);

// The central record that describes a local record at offset: the local header's values,
// version made by 20 (MS-DOS attributes), the given external attributes.
TCentralDirectoryFile CentralRecordFor(const TLocalFile& local, uint32_t externalAttributes,
                                       int64_t offset);

int64_t CentralRecordSize(const TCentralDirectoryFile& central);
// Header, name, extra field and data of the local record, plus the 16-byte data descriptor
// when flag bit 3 says one follows. The data size comes from the central record, since a
// local header with a descriptor carries no sizes.
int64_t LocalRecordSize(const TLocalFile& local, const TCentralDirectoryFile& central);

// ctNormal..ctSuperFast from flag bits 1 and 2 for methods 8 and 9, ctUnknown otherwise.
TZipCompressionType CompressionTypeOf(const TCentralDirectoryFile& central);

struct TDosDateTime {
  uint16_t Date = 0;
  uint16_t Time = 0;
};

// Seconds go down to an even number; years outside 1980..2107 give date and time 0.
TDosDateTime DateTimeToDos(TDateTime value);
// A date or time that names no real moment (such as date 0) gives the value 0.
TDateTime DosToDateTime(uint16_t date, uint16_t time);

}  // namespace voltrane
