// The reading side: locating and loading the central directory, or rebuilding the member
// list from the local records of an archive that has no end record.
#include <string>

#include "rt/Exception.h"
#include "zip/DataDescriptor.h"
#include "zip/EndRecordSearch.h"
#include "zip/ZelZip.h"
#include "zip/ZipItem.h"

namespace voltrane {

namespace {

std::string ReadBytes(TStream& stream, int64_t count) {
  std::string bytes(size_t(count), '\0');
  stream.ReadBuffer(bytes.data(), count);
  return bytes;
}

bool HasSignature(const std::string& bytes, uint32_t signature) {
  return bytes.size() >= 4 && uint8_t(bytes[0]) == (signature & 0xFF) &&
         uint8_t(bytes[1]) == ((signature >> 8) & 0xFF) &&
         uint8_t(bytes[2]) == ((signature >> 16) & 0xFF) && uint8_t(bytes[3]) == (signature >> 24);
}

// Reads the local header at the stream's position with its name and extra field, or gives
// a record with signature 0 when there is none.
TLocalFile ReadLocalRecord(TStream& stream) {
  std::string fixed(size_t(kLocalHeaderSize), '\0');
  if (stream.Read(fixed.data(), kLocalHeaderSize) != kLocalHeaderSize ||
      !HasSignature(fixed, kLocalFileSignature)) {
    return {};
  }
  TLocalFile local = DecodeLocalHeader(fixed.data());
  local.FileName = ReadBytes(stream, local.FileNameLength);
  local.ExtraField = ReadBytes(stream, local.ExtraFieldLength);
  return local;
}

}  // namespace

bool TZelZipEntries::ParseArchive() {
  isZipFileFlag_ = false;
  items_.clear();
  ForgetNameIndex();
  if (FindEndRecord()) {
    if (ReadCentralDirectory()) {
      isZipFileFlag_ = true;
      ReadLocalHeaders();
    }
  } else {
    isZipFileFlag_ = RecoverFromLocalHeaders();
  }
  return isZipFileFlag_;
}

bool TZelZipEntries::FindEndRecord() {
  TStream& stream = *zip_.stream_;
  int64_t position;
  try {
    position = SearchEndRecord(stream);
    if (position < 0) return false;
    std::string bytes(size_t(kEndRecordSize), '\0');
    stream.SetPosition(position);
    stream.ReadBuffer(bytes.data(), kEndRecordSize);
    zip_.endRecord_ = DecodeEndRecord(bytes.data());
  } catch (const EStreamError&) {
    return false;
  }
  zip_.endRecordPosition_ = position;
  zip_.commentPosition_ = position + kEndRecordSize;
  zip_.comment_.clear();
  return true;
}

bool TZelZipEntries::ReadCentralDirectory() {
  TStream& archive = *zip_.stream_;
  const TEndOfCentralDir& end = zip_.endRecord_;
  int64_t offset = end.OffsetOfStartOfCentralDirectory;
  // A directory said to reach past its end record is damaged; changes size the file from it.
  if (offset + int64_t(end.SizeOfTheCentralDirectory) > zip_.endRecordPosition_) return false;
  int total = end.TotalNumberOfEntriesInTheCentralDirectory;
  try {
    // The directory lies between its offset and the end record: one read for all of it.
    archive.SetPosition(offset);
    std::string directory = ReadBytes(archive, zip_.endRecordPosition_ - offset);
    TViewStream stream(directory.data(), int64_t(directory.size()));
    for (int i = 0; i < end.TotalNumberOfEntriesInTheCentralDirectoryOnThisDisk; ++i) {
      std::string fixed = ReadBytes(stream, kCentralHeaderSize);
      if (!HasSignature(fixed, kCentralFileSignature)) return false;
      auto item = std::make_unique<TZelZipEntriesEntry>();
      TCentralDirectoryFile& central = item->CentralDirectoryFile;
      central = DecodeCentralHeader(fixed.data());
      central.FileName = ReadBytes(stream, central.FileNameLength);
      central.ExtraField = ReadBytes(stream, central.ExtraFieldLength);
      central.FileComment = ReadBytes(stream, central.FileCommentLength);
      item->DeriveFields();
      items_.push_back(std::move(item));
      if (zip_.OnZipOpen) zip_.OnZipOpen(zip_, i, total);
    }
  } catch (const EStreamError&) {
    items_.clear();
    ForgetNameIndex();
    return false;
  }
  if (Count() != total) {
    items_.clear();
    ForgetNameIndex();
    return false;
  }
  // Writes put the directory back as its records are, not as big as the record said.
  int64_t directorySize = 0;
  for (const auto& item : items_) directorySize += CentralRecordSize(item->CentralDirectoryFile);
  zip_.endRecord_.SizeOfTheCentralDirectory = uint32_t(directorySize);
  return true;
}

void TZelZipEntries::ReadLocalHeaders() {
  TStream& stream = *zip_.stream_;
  int total = zip_.endRecord_.TotalNumberOfEntriesInTheCentralDirectory;
  for (int i = 0; i < Count(); ++i) {
    if (zip_.OnZipOpen) zip_.OnZipOpen(zip_, i, total);
    TZelZipEntriesEntry& item = *items_[size_t(i)];
    try {
      stream.SetPosition(item.Offset());
      item.LocalFile = ReadLocalRecord(stream);
    } catch (const EStreamError&) {
      item.LocalFile = {};  // no local header: removals and rewrites refuse this member
    }
  }
}

bool TZelZipEntries::RecoverFromLocalHeaders() {
  TStream& stream = *zip_.stream_;
  items_.clear();
  ForgetNameIndex();
  int64_t position = 0;
  int64_t directorySize = 0;
  try {
    stream.SetPosition(0);
    for (;;) {
      TLocalFile local = ReadLocalRecord(stream);
      if (local.LocalFileHeaderSignature != kLocalFileSignature) break;
      if (local.GeneralPurposeBitFlag & kFlagDataDescriptor) {
        // The sizes follow the data, so the data itself must tell where it ends.
        TDescriptorValues values;
        if (!ReadThroughDataDescriptor(stream, local.CompressionMethod, values)) break;
        local.Crc32 = values.Crc32;
        local.CompressedSize = values.CompressedSize;
        local.UncompressedSize = values.UncompressedSize;
      } else {
        stream.Seek(local.CompressedSize, TSeekOrigin::Current);
        if (stream.Position() > stream.Size()) break;
      }
      if (stream.Position() > kMaxZipOffset) break;  // offsets past 4 GiB do not fit a record
      auto item = std::make_unique<TZelZipEntriesEntry>();
      item->CentralDirectoryFile =
          CentralRecordFor(local, local.FileName.ends_with("/") ? 0x10 : 0x20, position);
      item->LocalFile = std::move(local);
      item->DeriveFields();
      directorySize += CentralRecordSize(item->CentralDirectoryFile);
      items_.push_back(std::move(item));
      position = stream.Position();
    }
  } catch (const EStreamError&) {
    // A record that cannot be read ends the walk like a missing signature.
  }
  TEndOfCentralDir& end = zip_.endRecord_;
  end = TEndOfCentralDir{};
  end.TotalNumberOfEntriesInTheCentralDirectoryOnThisDisk = uint16_t(Count());
  end.TotalNumberOfEntriesInTheCentralDirectory = uint16_t(Count());
  end.SizeOfTheCentralDirectory = uint32_t(directorySize);
  end.OffsetOfStartOfCentralDirectory = uint32_t(position);
  zip_.endRecordPosition_ = position + directorySize;
  zip_.commentPosition_ = zip_.endRecordPosition_ + kEndRecordSize;
  zip_.comment_.clear();
  return Count() > 0;
}

}  // namespace voltrane
