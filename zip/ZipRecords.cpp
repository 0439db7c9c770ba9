#include "zip/ZipRecords.h"

namespace voltrane {

namespace {

void PutU16(std::string& out, uint16_t value) {
  out += char(value & 0xFF);
  out += char(value >> 8);
}

void PutU32(std::string& out, uint32_t value) {
  PutU16(out, uint16_t(value & 0xFFFF));
  PutU16(out, uint16_t(value >> 16));
}

// Reads little-endian fields one after the other.
class TFieldReader {
 public:
  explicit TFieldReader(const char* bytes)
      : bytes_(reinterpret_cast<const unsigned char*>(bytes)) {}
  uint16_t U16() {
    uint16_t value = uint16_t(bytes_[0] | bytes_[1] << 8);
    bytes_ += 2;
    return value;
  }
  uint32_t U32() {
    uint32_t low = U16();
    return low | uint32_t(U16()) << 16;
  }

 private:
  const unsigned char* bytes_;
};

}  // namespace

std::string EncodeLocalHeader(const TLocalFile& r) {
  std::string out;
  PutU32(out, r.LocalFileHeaderSignature);
  PutU16(out, r.VersionNeededToExtract);
  PutU16(out, r.GeneralPurposeBitFlag);
  PutU16(out, r.CompressionMethod);
  PutU16(out, r.LastModFileTime);
  PutU16(out, r.LastModFileDate);
  PutU32(out, r.Crc32);
  PutU32(out, r.CompressedSize);
  PutU32(out, r.UncompressedSize);
  PutU16(out, r.FileNameLength);
  PutU16(out, r.ExtraFieldLength);
  return out;
}

std::string EncodeCentralHeader(const TCentralDirectoryFile& r) {
  std::string out;
  PutU32(out, r.CentralFileHeaderSignature);
  PutU16(out, r.VersionMadeBy);
  PutU16(out, r.VersionNeededToExtract);
  PutU16(out, r.GeneralPurposeBitFlag);
  PutU16(out, r.CompressionMethod);
  PutU16(out, r.LastModFileTime);
  PutU16(out, r.LastModFileDate);
  PutU32(out, r.Crc32);
  PutU32(out, r.CompressedSize);
  PutU32(out, r.UncompressedSize);
  PutU16(out, r.FileNameLength);
  PutU16(out, r.ExtraFieldLength);
  PutU16(out, r.FileCommentLength);
  PutU16(out, r.DiskNumberStart);
  PutU16(out, r.InternalFileAttributes);
  PutU32(out, r.ExternalFileAttributes);
  PutU32(out, r.RelativeOffsetOfLocalHeader);
  return out;
}

std::string EncodeEndRecord(const TEndOfCentralDir& r) {
  std::string out;
  PutU32(out, r.EndOfCentralDirSignature);
  PutU16(out, r.NumberOfThisDisk);
  PutU16(out, r.NumberOfTheDiskWithTheStartOfTheCentralDirectory);
  PutU16(out, r.TotalNumberOfEntriesInTheCentralDirectoryOnThisDisk);
  PutU16(out, r.TotalNumberOfEntriesInTheCentralDirectory);
  PutU32(out, r.SizeOfTheCentralDirectory);
  PutU32(out, r.OffsetOfStartOfCentralDirectory);
  PutU16(out, r.ZipFileCommentLength);
  return out;
}

TLocalFile DecodeLocalHeader(const char* bytes) {
  TFieldReader in(bytes);
  TLocalFile r;
  r.LocalFileHeaderSignature = in.U32();
  r.VersionNeededToExtract = in.U16();
  r.GeneralPurposeBitFlag = in.U16();
  r.CompressionMethod = in.U16();
  r.LastModFileTime = in.U16();
  r.LastModFileDate = in.U16();
  r.Crc32 = in.U32();
  r.CompressedSize = in.U32();
  r.UncompressedSize = in.U32();
  r.FileNameLength = in.U16();
  r.ExtraFieldLength = in.U16();
  return r;
}

TCentralDirectoryFile DecodeCentralHeader(const char* bytes) {
  TFieldReader in(bytes);
  TCentralDirectoryFile r;
  r.CentralFileHeaderSignature = in.U32();
  r.VersionMadeBy = in.U16();
  r.VersionNeededToExtract = in.U16();
  r.GeneralPurposeBitFlag = in.U16();
  r.CompressionMethod = in.U16();
  r.LastModFileTime = in.U16();
  r.LastModFileDate = in.U16();
  r.Crc32 = in.U32();
  r.CompressedSize = in.U32();
  r.UncompressedSize = in.U32();
  r.FileNameLength = in.U16();
  r.ExtraFieldLength = in.U16();
  r.FileCommentLength = in.U16();
  r.DiskNumberStart = in.U16();
  r.InternalFileAttributes = in.U16();
  r.ExternalFileAttributes = in.U32();
  r.RelativeOffsetOfLocalHeader = in.U32();
  return r;
}

TEndOfCentralDir DecodeEndRecord(const char* bytes) {
  TFieldReader in(bytes);
  TEndOfCentralDir r;
  r.EndOfCentralDirSignature = in.U32();
  r.NumberOfThisDisk = in.U16();
  r.NumberOfTheDiskWithTheStartOfTheCentralDirectory = in.U16();
  r.TotalNumberOfEntriesInTheCentralDirectoryOnThisDisk = in.U16();
  r.TotalNumberOfEntriesInTheCentralDirectory = in.U16();
  r.SizeOfTheCentralDirectory = in.U32();
  r.OffsetOfStartOfCentralDirectory = in.U32();
  r.ZipFileCommentLength = in.U16();
  return r;
}

std::string EncodeCentralRecord(const TCentralDirectoryFile& record) {
  return EncodeCentralHeader(record) + record.FileName + record.ExtraField + record.FileComment;
}

TCentralDirectoryFile CentralRecordFor(const TLocalFile& local, uint32_t externalAttributes,
                                       int64_t offset) {
  TCentralDirectoryFile c;
  c.CentralFileHeaderSignature = kCentralFileSignature;
  // Info-ZIP's unzip reads every name from an MS-DOS host as code page 437, flag or not;
  // Windows (NTFS) as the host keeps the attributes MS-DOS attributes and the name UTF-8.
  c.VersionMadeBy = local.GeneralPurposeBitFlag & kFlagUtf8Name ? kZipVersionNtfsHost : kZipVersion;
  c.VersionNeededToExtract = local.VersionNeededToExtract;
  c.GeneralPurposeBitFlag = local.GeneralPurposeBitFlag;
  c.CompressionMethod = local.CompressionMethod;
  c.LastModFileTime = local.LastModFileTime;
  c.LastModFileDate = local.LastModFileDate;
  c.Crc32 = local.Crc32;
  c.CompressedSize = local.CompressedSize;
  c.UncompressedSize = local.UncompressedSize;
  c.FileNameLength = local.FileNameLength;
  c.ExtraFieldLength = local.ExtraFieldLength;
  c.ExternalFileAttributes = externalAttributes;
  c.RelativeOffsetOfLocalHeader = uint32_t(offset);
  c.FileName = local.FileName;
  c.ExtraField = local.ExtraField;
  return c;
}

int64_t CentralRecordSize(const TCentralDirectoryFile& c) {
  return kCentralHeaderSize + c.FileNameLength + c.ExtraFieldLength + c.FileCommentLength;
}

int64_t LocalRecordSize(const TLocalFile& local, const TCentralDirectoryFile& central) {
  int64_t size = kLocalHeaderSize + int64_t(central.CompressedSize) + local.FileNameLength +
                 local.ExtraFieldLength;
  if (local.GeneralPurposeBitFlag & kFlagDataDescriptor) size += kDataDescriptorSize;
  return size;
}

TZipCompressionType CompressionTypeOf(const TCentralDirectoryFile& central) {
  if (central.CompressionMethod != 8 && central.CompressionMethod != 9) {
    return TZipCompressionType::ctUnknown;
  }
  switch (central.GeneralPurposeBitFlag & 6) {
    case 2:
      return TZipCompressionType::ctMaximum;
    case 4:
      return TZipCompressionType::ctFast;
    case 6:
      return TZipCompressionType::ctSuperFast;
  }
  return TZipCompressionType::ctNormal;
}

TDosDateTime DateTimeToDos(TDateTime value) {
  TDateTimeParts p = DecodeDateTime(value);
  if (p.Year < 1980 || p.Year > 2107) return {};
  TDosDateTime dos;
  dos.Time = uint16_t(p.Second / 2 + p.Minute * 32 + p.Hour * 2048);
  dos.Date = uint16_t(p.Day + p.Month * 32 + (p.Year - 1980) * 512);
  return dos;
}

TDateTime DosToDateTime(uint16_t date, uint16_t time) {
  TDateTimeParts p;
  p.Year = 1980 + (date >> 9);
  p.Month = (date >> 5) & 15;
  p.Day = date & 31;
  p.Hour = time >> 11;
  p.Minute = (time >> 5) & 63;
  p.Second = (time & 31) * 2;
  if (p.Month < 1 || p.Month > 12 || p.Day < 1 || p.Hour > 23 || p.Minute > 59 || p.Second > 59) {
    return 0;
  }
  return EncodeDateTime(p);
}

}  // namespace voltrane
