#include "zip/ZelZip.h"

#include "rt/FileList.h"
#include "zip/ZipErrors.h"

namespace voltrane {

void TZelZipEntriesEntry::DeriveFields() {
  const TCentralDirectoryFile& c = CentralDirectoryFile;
  DateTime = DosToDateTime(c.LastModFileDate, c.LastModFileTime);
  IsEncrypted = (c.GeneralPurposeBitFlag & kFlagEncrypted) != 0;
  IsFolder = (c.ExternalFileAttributes & kAttrFolder) != 0;
  CompressionType = CompressionTypeOf(c);
}

TZelZip::TZelZip() = default;

TZelZip::~TZelZip() {
  entries_.items_.clear();
  stream_.reset();  // a destructor cannot raise: closing errors show only through CloseArchive
}

void TZelZip::SetCompressionType(TZipCompressionType type) {
  compressionType_ = type == TZipCompressionType::ctUnknown ? TZipCompressionType::ctNormal : type;
}

void TZelZip::SetActive(bool active) {
  if (fileName_.empty()) return;
  if (active) {
    OpenArchive(fileName_);
  } else {
    CloseArchive();
  }
}

void TZelZip::ZipChanged(int32_t changeType) {
  if (OnZipChange) OnZipChange(*this, changeType);
}

void TZelZip::CreateEmptyArchive(TStream& stream) {
  stream.WriteString(EncodeEndRecord(TEndOfCentralDir{}));
}

void TZelZip::OpenArchive(const std::string& fileName) {
  CloseArchive();
  TFileEntry entry;
  if (!FindEntry(fileName, entry)) throw Exception("File \"" + fileName + "\" not found!");
  bool readOnly = (entry.Attributes & 0x01) != 0;
  auto stream = std::make_unique<TFileStream>(
      fileName, readOnly ? TFileMode::OpenRead : TFileMode::OpenReadWrite);
  readOnly_ = readOnly;
  fileName_ = fileName;  // set first so that errors of the parse can name the archive
  OpenArchiveStream(std::move(stream));
}

void TZelZip::OpenArchiveStream(std::unique_ptr<TStream> stream) {
  stream_ = std::move(stream);
  isZipFile_ = entries_.ParseArchive();
  if (!isZipFile_) CloseArchive();
  fileNamesDirty_ = true;
  ZipChanged(kZipOpened);
}

void TZelZip::ReleaseStream() {
  entries_.items_.clear();
  entries_.ForgetNameIndex();
  std::unique_ptr<TStream> stream = std::move(stream_);
  isZipFile_ = false;
  readOnly_ = false;
  if (auto* file = dynamic_cast<TFileStream*>(stream.get())) file->Close();
}

void TZelZip::CloseArchive() {
  ReleaseStream();
  fileNamesDirty_ = true;
  ZipChanged(kZipClosed);
}

std::string TZelZip::ArchiveName() const {
  return fileName_.empty() ? "(stream)" : fileName_;
}

TStream& TZelZip::ArchiveStream(const std::string& itemName) const {
  if (!stream_) {
    throw EZipError("Cannot change \"" + itemName + "\": no archive is open");
  }
  return *stream_;
}

TStream& TZelZip::WritableArchive(const std::string& itemName) const {
  TStream& stream = ArchiveStream(itemName);
  if (readOnly_) {
    throw EZipError("Cannot change \"" + itemName + "\" in archive \"" + ArchiveName() +
                    "\": the archive is read-only");
  }
  return stream;
}

void TZelZip::NoteDirectoryPending(int64_t directoryOffset, int64_t recordSize,
                                   const std::string& comment) {
  endRecord_.EndOfCentralDirSignature = kEndOfCentralDirSignature;
  endRecord_.TotalNumberOfEntriesInTheCentralDirectoryOnThisDisk = uint16_t(entries_.Count());
  endRecord_.TotalNumberOfEntriesInTheCentralDirectory = uint16_t(entries_.Count());
  endRecord_.SizeOfTheCentralDirectory += uint32_t(recordSize);
  endRecord_.OffsetOfStartOfCentralDirectory = uint32_t(directoryOffset);
  endRecord_.ZipFileCommentLength = uint16_t(comment.size());
  endRecordPosition_ = directoryOffset + int64_t(endRecord_.SizeOfTheCentralDirectory);
  commentPosition_ = endRecordPosition_ + kEndRecordSize;
  directoryPending_ = true;
}

void TZelZip::WritePendingDirectory() {
  directoryDeferred_ = false;
  if (!directoryPending_) return;
  directoryPending_ = false;
  stream_->SetSize(
      WriteDirectoryAndEnd(endRecord_.OffsetOfStartOfCentralDirectory, StoredComment()));
}

int64_t TZelZip::WriteDirectoryAndEnd(int64_t directoryOffset, const std::string& comment) {
  ++directoryWrites_;
  directoryPending_ = false;
  std::string bytes;
  for (const auto& item : entries_.items_) bytes += EncodeCentralRecord(item->CentralDirectoryFile);
  TEndOfCentralDir end = MakeEndRecord(int64_t(entries_.items_.size()), int64_t(bytes.size()),
                                       directoryOffset, comment.size());
  bytes += EncodeEndRecord(end);
  bytes += comment;
  stream_->SetPosition(directoryOffset);
  stream_->WriteString(bytes);
  endRecord_ = end;
  commentPosition_ = stream_->Position() - int64_t(comment.size());
  endRecordPosition_ = commentPosition_ - kEndRecordSize;
  return stream_->Position();
}

}  // namespace voltrane
