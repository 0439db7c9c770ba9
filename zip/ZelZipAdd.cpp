// Adding members: folder walks, folder chains, files, streams, and the append in place.
#include <functional>
#include <memory>
#include <string>

#include "rt/AsciiText.h"
#include "rt/Exception.h"
#include "rt/FileList.h"
#include "rt/Path.h"
#include "zip/ZelZip.h"
#include "zip/ZipErrors.h"
#include "zip/ZipNames.h"

namespace voltrane {

namespace {

// A member's time as the archive will hold it: local time cut to MS-DOS precision.
TDateTime EntryDateTime(const TFileEntry& entry) {
  TDosDateTime dos =
      DateTimeToDos(UnixToLocalDateTime(entry.ModifiedSeconds, entry.ModifiedNanoseconds));
  return DosToDateTime(dos.Date, dos.Time);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Holds BatchAdding set for a scope and gives back its previous value.
class TBatchScope {
 public:
  explicit TBatchScope(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
  ~TBatchScope() { flag_ = previous_; }
  TBatchScope(const TBatchScope&) = delete;
  TBatchScope& operator=(const TBatchScope&) = delete;

 private:
  bool& flag_;
  bool previous_;
};

}  // namespace

bool TZelZipEntries::AddFolderTree(const std::string& folderName, const std::string& rootFolder,
                                   const std::string& wildCard, bool withSubFolders) {
  {
    TBatchScope batch(zip_.batchAdding_);
    // Writing the directory after every member would make n members cost n squared: the
    // adds of the walk leave it to the end, also when the walk fails, so that the file is a
    // complete archive of the members added either way.
    zip_.directoryDeferred_ = zip_.saveMethod_ == TZipSaveMethod::FastSave;
    try {
      WalkFolder(folderName, rootFolder, wildCard, withSubFolders);
    } catch (...) {
      try {
        zip_.WritePendingDirectory();
      } catch (...) {
        // The error that ended the walk is the one to report.
      }
      throw;
    }
    zip_.WritePendingDirectory();
  }
  zip_.ZipChanged(kZipItemsAdded);
  return true;
}

void TZelZipEntries::WalkFolder(const std::string& folder, const std::string& rootFolder,
                                const std::string& wildCard, bool withSubFolders) {
  int error = 0;
  std::vector<TFileEntry> entries = ListFolder(folder, "*", &error);
  if (error != 0) throw EFOpenError(folder, error);  // a folder left out would pass unnoticed
  bool folderMembers = zip_.storeFolders_ && zip_.storeRelativePath_;
  // The folder itself (its own "." entry): only a folder below the root gives a name.
  // Folder members exist only where both StoreFolders and StoreRelativePath are set.
  TFileEntry self;
  if (folderMembers && FindEntry(folder, self)) {
    AddFolderChain(RelativeItemName(folder + "/", rootFolder), self.Attributes,
                   EntryDateTime(self));
  }
  for (const TFileEntry& entry : entries) {
    std::string path = JoinPath(folder, entry.Name);
    if (entry.IsFolder) {
      if (folderMembers) {
        AddFolderChain(RelativeItemName(path + "/", rootFolder), entry.Attributes,
                       EntryDateTime(entry));
      }
      // A link to a folder is not followed: it may lead outside the tree or into a loop.
      if (withSubFolders && !entry.IsLink) WalkFolder(path, rootFolder, wildCard, true);
    } else if (MatchesMask(path, wildCard, /*questionMarkIsWildcard=*/false)) {
      AddFileItem(path, RelativeItemName(path, rootFolder));
    }
  }
}

bool TZelZipEntries::AddFolderChain(const std::string& name, uint16_t fileAttr,
                                    TDateTime fileDate) {
  // Without relative paths a folder name would be cut down to nothing.
  if (!zip_.storeRelativePath_) return true;
  std::string path = ToBackslashName(name);
  path.erase(path.rfind('\\') == std::string::npos ? 0 : path.rfind('\\') + 1);
  std::string prefix;
  for (size_t slash; (slash = path.find('\\')) != std::string::npos;) {
    prefix += path.substr(0, slash + 1);
    path.erase(0, slash + 1);
    if (IndexOfItem(prefix) == -1) {
      TMemoryStream empty;
      AppendPreparedItem(PrepareItem(prefix, fileAttr, fileDate, empty));
    }
  }
  return true;
}

TZelZipEntriesEntry* TZelZipEntries::AddFileItem(const std::string& fileName,
                                                 const std::string& itemName) {
  TFileEntry entry;
  if (!FindEntry(fileName, entry)) return nullptr;
  TFileStream file(fileName, TFileMode::OpenRead);
  return AddStreamItem(itemName, entry.Attributes, EntryDateTime(entry), file);
}

TZelZipEntriesEntry* TZelZipEntries::AddStreamItem(const std::string& itemName, uint16_t fileAttr,
                                                   TDateTime fileDate, TStream& stream) {
  return AddPreparedItem(itemName,
                         [&] { return PrepareItem(itemName, fileAttr, fileDate, stream); });
}

TZelZipEntriesEntry* TZelZipEntries::AddPreparedItem(
    const std::string& itemName, const std::function<TPreparedZipItem()>& prepare) {
  if (zip_.storeFolders_ && zip_.storeRelativePath_) AddFolderChain(itemName, 0x10, Now());
  zip_.ArchiveStream(itemName);  // nothing to compress for when no archive is open
  TZelZipEntriesEntry* item = AppendPreparedItem(prepare());
  if (zip_.OnAddItem) zip_.OnAddItem(zip_, itemName);
  return item;
}

int TZelZipEntries::IndexOfItem(const std::string& name) const {
  if (namesIndexed_ > items_.size()) namesIndexed_ = 0, byName_.clear();
  for (; namesIndexed_ < items_.size(); ++namesIndexed_) {
    byName_.emplace(AsciiLowerCase(ToZipName(items_[namesIndexed_]->CentralDirectoryFile.FileName)),
                    int(namesIndexed_));
  }
  auto found = byName_.find(AsciiLowerCase(ToZipName(name)));
  return found == byName_.end() ? -1 : found->second;
}

TPreparedZipItem TZelZipEntries::PrepareItem(const std::string& itemName, uint16_t fileAttr,
                                             TDateTime fileDate, TStream& stream) const {
  TItemProgress progress;
  if (zip_.OnCompressFile) {
    progress = [this](int64_t current, int64_t total) {
      zip_.OnCompressFile(zip_, current, total);
    };
  }
  std::string spillPath;
  if (!zip_.spillFolder_.empty()) {
    ForceDirectories(zip_.spillFolder_);
    spillPath = zip_.spillFolder_ + "member-" + std::to_string(++zip_.spillCount_) + ".deflate";
  }
  TPreparedZipItem item = PrepareZipContent(stream, zip_.compressionType_, progress, spillPath);
  NameZipItem(item, itemName, fileAttr, fileDate, zip_.storeRelativePath_);
  return item;
}

TZelZipEntriesEntry* TZelZipEntries::AppendPreparedItem(TPreparedZipItem item) {
  return zip_.saveMethod_ == TZipSaveMethod::FastSave ? AppendPreparedFast(std::move(item))
                                                      : AppendPreparedRebuild(std::move(item));
}

TZelZipEntriesEntry* TZelZipEntries::AppendItemFast(const std::string& itemName, uint16_t fileAttr,
                                                    TDateTime fileDate, TStream& stream) {
  zip_.ArchiveStream(itemName);  // nothing to compress for when no archive is open
  return AppendPreparedFast(PrepareItem(itemName, fileAttr, fileDate, stream));
}

void TZelZipEntries::CheckAddLimits(const TPreparedZipItem& item) const {
  const TEndOfCentralDir& end = zip_.endRecord_;
  int64_t count = Count() + 1;
  int64_t localOffset = end.OffsetOfStartOfCentralDirectory;
  int64_t directorySize = int64_t(end.SizeOfTheCentralDirectory);
  int replaced = IndexOfItem(item.StoredName);
  if (replaced >= 0) {  // the replaced member's records go first
    const TZelZipEntriesEntry& old = *items_[size_t(replaced)];
    --count;
    localOffset -= LocalRecordSize(old.LocalFile, old.CentralDirectoryFile);
    directorySize -= CentralRecordSize(old.CentralDirectoryFile);
  }
  int64_t nameLength = int64_t(item.StoredName.size());
  int64_t directoryOffset = localOffset + kLocalHeaderSize + nameLength + item.CompressedSize();
  directorySize += kCentralHeaderSize + nameLength;
  std::string limit =
      ExceededZipLimit(count, nameLength, item.UncompressedSize, directoryOffset + directorySize);
  if (!limit.empty()) {
    throw EZipError("Cannot add \"" + item.ItemName + "\" to archive \"" + zip_.ArchiveName() +
                    "\": the archive format allows no " + limit);
  }
}

void TZelZipEntries::RemoveSameNamed(const TPreparedZipItem& item) {
  int index = IndexOfItem(item.StoredName);
  if (index < 0) return;
  TBatchScope batch(zip_.batchAdding_);
  RemoveItem(index);
}

TZelZipEntriesEntry* TZelZipEntries::Commit(TZelZipEntriesEntry& entry,
                                            const TPreparedZipItem& item) {
  entry.DeriveFields();
  entry.DateTime = item.FileDate;
  zip_.fileNamesDirty_ = true;
  if (!zip_.batchAdding_) zip_.ZipChanged(kZipItemsAdded);
  return &entry;
}

TZelZipEntriesEntry* TZelZipEntries::AppendPreparedFast(TPreparedZipItem item) {
  TStream& archive = zip_.WritableArchive(item.ItemName);
  std::string comment = zip_.StoredComment();
  CheckAddLimits(item);
  RemoveSameNamed(item);

  auto entry = std::make_unique<TZelZipEntriesEntry>();
  int64_t offset = zip_.endRecord_.OffsetOfStartOfCentralDirectory;
  entry->LocalFile = MakeLocalFile(item);
  entry->CentralDirectoryFile = MakeCentralFile(item, offset);
  int64_t directoryOffset =
      offset + kLocalHeaderSize + int64_t(item.StoredName.size()) + item.CompressedSize();
  int64_t finalSize = directoryOffset + int64_t(zip_.endRecord_.SizeOfTheCentralDirectory) +
                      CentralRecordSize(entry->CentralDirectoryFile) + kEndRecordSize +
                      int64_t(comment.size());
  // The file takes its final size in one step, before anything is written into it.
  archive.SetSize(finalSize);
  archive.SetPosition(offset);
  WriteLocalRecord(archive, entry->LocalFile, item);
  TZelZipEntriesEntry& added = *entry;
  items_.push_back(std::move(entry));
  if (zip_.directoryDeferred_) {
    zip_.NoteDirectoryPending(directoryOffset, CentralRecordSize(added.CentralDirectoryFile),
                              comment);
    return Commit(added, item);
  }
  try {
    zip_.WriteDirectoryAndEnd(directoryOffset, comment);
  } catch (...) {
    items_.pop_back();
    ForgetNameIndex();
    throw;
  }
  return Commit(added, item);
}

}  // namespace voltrane
