// Removing members, rewriting the whole archive, the archive comment and the name list.
#include <string>
#include <vector>

#include "zip/RebuildTarget.h"
#include "zip/ZelZip.h"
#include "zip/ZipErrors.h"

namespace voltrane {

namespace {

std::string CommentText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    bool crLf = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
    start = end + (crLf ? 2 : 1);
  }
  return lines;
}

}  // namespace

// --- removal

int64_t TZelZipEntries::CheckedLocalRecordSize(const TZelZipEntriesEntry& entry) const {
  if (entry.LocalFile.LocalFileHeaderSignature != kLocalFileSignature) {
    throw EZipError("Cannot move member \"" + entry.CentralDirectoryFile.FileName +
                    "\" of archive \"" + zip_.ArchiveName() + "\": its local header is missing");
  }
  // The sizes come from the file: a record said to run into the directory cannot be moved.
  int64_t size = LocalRecordSize(entry.LocalFile, entry.CentralDirectoryFile);
  if (entry.Offset() + size > int64_t(zip_.endRecord_.OffsetOfStartOfCentralDirectory)) {
    throw EZipError("Cannot move member \"" + entry.CentralDirectoryFile.FileName +
                    "\" of archive \"" + zip_.ArchiveName() +
                    "\": its local record runs into the central directory");
  }
  return size;
}

void TZelZipEntries::RemoveItem(int index) {
  if (index < 0 || index >= Count()) {
    throw EZipError("Cannot remove member " + std::to_string(index) + " of archive \"" +
                    zip_.ArchiveName() + "\": it has " + std::to_string(Count()) + " members");
  }
  zip_.WritableArchive(items_[size_t(index)]->CentralDirectoryFile.FileName);
  TZelZipEntriesEntry& entry = *items_[size_t(index)];
  int64_t offset = entry.Offset();
  int64_t localSize = CheckedLocalRecordSize(entry);
  std::unique_ptr<TZelZipEntriesEntry> removed = std::move(items_[size_t(index)]);
  items_.erase(items_.begin() + index);
  ForgetNameIndex();
  if (zip_.saveMethod_ == TZipSaveMethod::FastSave && !items_.empty()) {
    RemoveInPlace(offset, localSize);
  } else {
    try {
      RebuildArchive(nullptr);
    } catch (...) {
      items_.insert(items_.begin() + index, std::move(removed));  // the archive is unchanged
      ForgetNameIndex();
      throw;
    }
  }
  zip_.fileNamesDirty_ = true;
  if (!zip_.batchAdding_) zip_.ZipChanged(kZipItemRemoved);
}

void TZelZipEntries::RemoveInPlace(int64_t offset, int64_t localSize) {
  TStream& archive = *zip_.stream_;
  std::string comment = zip_.StoredComment();
  int64_t directoryOffset = zip_.endRecord_.OffsetOfStartOfCentralDirectory;
  // The local records behind the removed one move down; the directory is written anew.
  archive.SetPosition(offset + localSize);
  std::string tail(size_t(directoryOffset - offset - localSize), '\0');
  archive.ReadBuffer(tail.data(), int64_t(tail.size()));
  archive.SetPosition(offset);
  archive.WriteString(tail);
  for (auto& item : items_) {
    uint32_t& itemOffset = item->CentralDirectoryFile.RelativeOffsetOfLocalHeader;
    if (itemOffset > offset) itemOffset = uint32_t(itemOffset - localSize);
  }
  archive.SetSize(zip_.WriteDirectoryAndEnd(directoryOffset - localSize, comment));
}

// --- whole-archive rewrite

std::vector<int64_t> TZelZipEntries::WriteLocalRecords(TStream& out) {
  TStream& archive = *zip_.stream_;
  std::vector<int64_t> offsets;
  offsets.reserve(items_.size() + 1);
  for (int i = 0; i < Count(); ++i) {
    const TZelZipEntriesEntry& item = *items_[size_t(i)];
    offsets.push_back(out.Position());
    // Header, name, extra field, data and a data descriptor, if any, move as they are.
    int64_t size = CheckedLocalRecordSize(item);
    archive.SetPosition(item.Offset());
    out.CopyFrom(archive, size);
    if (zip_.OnRebuildZip) zip_.OnRebuildZip(zip_, i, Count() - 1);
  }
  return offsets;
}

TEndOfCentralDir TZelZipEntries::WriteCentralDirectory(TStream& out,
                                                       const std::vector<int64_t>& offsets) {
  TEndOfCentralDir end = zip_.endRecord_;
  end.EndOfCentralDirSignature = kEndOfCentralDirSignature;
  end.TotalNumberOfEntriesInTheCentralDirectoryOnThisDisk = uint16_t(Count());
  end.TotalNumberOfEntriesInTheCentralDirectory = uint16_t(Count());
  int64_t start = out.Position();
  end.OffsetOfStartOfCentralDirectory = uint32_t(start);
  for (int i = 0; i < Count(); ++i) {
    TCentralDirectoryFile central = items_[size_t(i)]->CentralDirectoryFile;
    central.RelativeOffsetOfLocalHeader = uint32_t(offsets[size_t(i)]);
    out.WriteString(EncodeCentralRecord(central));
    if (zip_.OnRebuildZip) zip_.OnRebuildZip(zip_, i, Count() - 1);
  }
  end.SizeOfTheCentralDirectory = uint32_t(out.Position() - start);
  return end;
}

void TZelZipEntries::WriteEndRecord(TStream& out, const TEndOfCentralDir& end,
                                    const std::string& comment) {
  out.WriteString(EncodeEndRecord(end));
  out.WriteString(comment);
  if (zip_.OnRebuildZip) zip_.OnRebuildZip(zip_, 100, 100);
}

void TZelZipEntries::RebuildArchive(const TPreparedZipItem* added) {
  std::string comment = zip_.StoredComment();
  TRebuildTarget target(zip_.useTempFiles_);
  TStream& out = target.Stream();
  if (target.IsMemory()) {
    // One allocation for the whole new archive.
    int64_t size = kEndRecordSize + int64_t(comment.size());
    for (int i = 0; i < Count(); ++i) {
      const TZelZipEntriesEntry& item = *items_[size_t(i)];
      size += CheckedLocalRecordSize(item) + CentralRecordSize(item.CentralDirectoryFile);
      if (zip_.OnRemoveItems) zip_.OnRemoveItems(zip_, i, Count() - 1);
    }
    if (added) {
      size += kLocalHeaderSize + kCentralHeaderSize + 2 * int64_t(added->StoredName.size()) +
              added->CompressedSize();
    }
    out.SetSize(size);
    out.SetPosition(0);
  }
  std::vector<int64_t> offsets = WriteLocalRecords(out);
  if (added) {
    auto entry = std::make_unique<TZelZipEntriesEntry>();
    int64_t offset = out.Position();
    entry->LocalFile = MakeLocalFile(*added);
    entry->CentralDirectoryFile = MakeCentralFile(*added, offset);
    out.WriteString(EncodeLocalHeader(entry->LocalFile) + added->StoredName);
    WriteItemData(*added, out);
    offsets.push_back(offset);
    items_.push_back(std::move(entry));
  }
  try {
    TEndOfCentralDir end = WriteCentralDirectory(out, offsets);
    int64_t endPosition = out.Position();
    end.ZipFileCommentLength = uint16_t(comment.size());
    WriteEndRecord(out, end, comment);
    out.SetSize(out.Position());
    zip_.ReplaceArchiveContent(out);
    for (size_t i = 0; i < items_.size(); ++i) {
      items_[i]->CentralDirectoryFile.RelativeOffsetOfLocalHeader = uint32_t(offsets[i]);
    }
    zip_.endRecord_ = end;
    zip_.endRecordPosition_ = endPosition;
    zip_.commentPosition_ = endPosition + kEndRecordSize;
  } catch (...) {
    if (added) items_.pop_back();
    throw;
  }
}

TZelZipEntriesEntry* TZelZipEntries::AppendItemRebuild(const std::string& itemName,
                                                       uint16_t fileAttr, TDateTime fileDate,
                                                       TStream& stream) {
  zip_.ArchiveStream(itemName);  // nothing to compress for when no archive is open
  return AppendPreparedRebuild(PrepareItem(itemName, fileAttr, fileDate, stream));
}

TZelZipEntriesEntry* TZelZipEntries::AppendPreparedRebuild(TPreparedZipItem item) {
  zip_.WritableArchive(item.ItemName);
  CheckAddLimits(item);
  RemoveSameNamed(item);
  RebuildArchive(&item);
  return Commit(*items_.back(), item);
}

void TZelZip::ReplaceArchiveContent(TStream& content) {
  TStream& archive = *stream_;
  // A copy of the old bytes lets a failure part way put the archive back as it was.
  TRebuildTarget backup(useTempFiles_);
  backup.Stream().CopyFrom(archive, 0);
  try {
    archive.SetSize(content.Size());
    archive.SetPosition(0);
    archive.CopyFrom(content, 0);
  } catch (...) {
    try {
      archive.SetSize(backup.Stream().Size());
      archive.SetPosition(0);
      archive.CopyFrom(backup.Stream(), 0);
    } catch (...) {
      // The first error is the one to report; the archive could not be restored either.
    }
    throw;
  }
}

// --- comment and names

std::string TZelZip::StoredComment() {
  uint16_t length = endRecord_.ZipFileCommentLength;
  if (!stream_ || length == 0) return {};
  std::string bytes(length, '\0');
  stream_->SetPosition(commentPosition_);
  // A comment cut short by the end of the file keeps what is there.
  bytes.resize(size_t(stream_->Read(bytes.data(), length)));
  return bytes;
}

std::vector<std::string> TZelZip::Comment() {
  comment_.clear();
  if (isZipFile_) comment_ = SplitLines(StoredComment());
  return comment_;
}

void TZelZip::SetComment(const std::vector<std::string>& lines) {
  comment_.clear();
  if (!isZipFile_) return;
  std::string text = CommentText(lines);
  if (text != StoredComment()) {
    WritableArchive("comment");
    if (int64_t(text.size()) > kMaxZipCount) {
      throw EZipError("Cannot set the comment of archive \"" + ArchiveName() +
                      "\": the archive format allows no comment longer than 65535 bytes");
    }
    // The directory goes with it: an archive recovered from its local records has none yet.
    stream_->SetSize(WriteDirectoryAndEnd(endRecord_.OffsetOfStartOfCentralDirectory, text));
  }
  comment_ = lines;
}

const std::vector<std::string>& TZelZip::FileNames() {
  if (fileNamesDirty_) {
    fileNames_.clear();
    for (const auto& item : entries_.items_) {
      std::string name = item->CentralDirectoryFile.FileName;
      for (size_t at; (at = name.find("//")) != std::string::npos;) name.replace(at, 2, "\\");
      for (char& c : name) c = c == '/' ? '\\' : c;
      size_t drive = name.find(":\\");
      if (drive != std::string::npos) name.erase(0, drive + 2);
      fileNames_.push_back(name);
    }
    fileNamesDirty_ = false;
  }
  return fileNames_;
}

}  // namespace voltrane
