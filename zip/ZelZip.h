// The ZIP component: keeps one archive open on a stream and changes it member by member.
// After every add or removal the file is a complete archive.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "rt/DateTime.h"
#include "rt/Stream.h"
#include "zip/ZipItem.h"
#include "zip/ZipRecords.h"

namespace voltrane {

enum class TZipSaveMethod { FastSave, RebuildAll };
enum class TOverwriteAction { oaSkip, oaSkipAll, oaOverwrite, oaOverwriteAll };

class TZelZip;

using TOnProgressEvent = std::function<void(TZelZip& sender, int64_t current, int64_t total)>;
using TOnCompressFile = TOnProgressEvent;
using TOnDecompressFile = TOnProgressEvent;
using TOnZipOpen = TOnProgressEvent;
using TOnRebuildZip = TOnProgressEvent;
using TOnRemoveItems = TOnProgressEvent;
using TOnZipChange = std::function<void(TZelZip& sender, int32_t changeType)>;
using TOnAddItem = std::function<void(TZelZip& sender, const std::string& itemName)>;
using TOnOverwriteFile =
    std::function<void(TZelZip& sender, const std::string& fileName, TOverwriteAction& action)>;

// Change codes of OnZipChange.
constexpr int32_t kZipClosed = 0;
constexpr int32_t kZipOpened = 1;
constexpr int32_t kZipItemsAdded = 2;
constexpr int32_t kZipItemRemoved = 3;

class TZelZipEntriesEntry {
 public:
  TCentralDirectoryFile CentralDirectoryFile;
  TLocalFile LocalFile;  // signature 0 when the archive has no local header for the member
  bool IsEncrypted = false;
  bool IsFolder = false;
  TDateTime DateTime = 0;
  TZipCompressionType CompressionType = TZipCompressionType::ctUnknown;
  bool Selected = false;

  int64_t Offset() const { return CentralDirectoryFile.RelativeOffsetOfLocalHeader; }
  // Sets the fields that follow from the central record.
  void DeriveFields();
};

// The members in central directory order.
class TZelZipEntries {
 public:
  explicit TZelZipEntries(TZelZip& zip) : zip_(zip) {}

  int Count() const { return int(items_.size()); }
  TZelZipEntriesEntry& operator[](int index) { return *items_.at(size_t(index)); }
  const TZelZipEntriesEntry& operator[](int index) const { return *items_.at(size_t(index)); }
  bool IsZipFileFlag() const { return isZipFileFlag_; }

  // Adds every file under folderName that matches wildCard, named relative to rootFolder,
  // with a member for each folder on the way. Raises the file error of a folder that cannot
  // be listed. Always true.
  bool AddFolderTree(const std::string& folderName, const std::string& rootFolder,
                     const std::string& wildCard, bool withSubFolders);
  // The new member, or nullptr when the file does not exist.
  TZelZipEntriesEntry* AddFileItem(const std::string& fileName, const std::string& itemName);
  TZelZipEntriesEntry* AddStreamItem(const std::string& itemName, uint16_t fileAttr,
                                     TDateTime fileDate, TStream& stream);
  // Members for every folder level of name that is missing, outermost first. Always true.
  bool AddFolderChain(const std::string& name, uint16_t fileAttr, TDateTime fileDate);
  // Index of the member of that name (separators and ASCII case do not matter), or -1.
  int IndexOfItem(const std::string& name) const;
  void RemoveItem(int index);

  // The two halves of an add, callable on their own so that members can be compressed
  // ahead (PrepareItem touches nothing of the component but raises OnCompressFile) while
  // appending stays in order. AppendPreparedItem uses the current SaveMethod.
  TPreparedZipItem PrepareItem(const std::string& itemName, uint16_t fileAttr, TDateTime fileDate,
                               TStream& stream) const;
  TZelZipEntriesEntry* AppendPreparedItem(TPreparedZipItem item);

  // Prepare and append in one step, in place or by a whole-archive rewrite: kept for other
  // callers of the component; the run appends through AppendPreparedItem.
  TZelZipEntriesEntry* AppendItemFast(const std::string& itemName, uint16_t fileAttr,
                                      TDateTime fileDate, TStream& stream);
  TZelZipEntriesEntry* AppendItemRebuild(const std::string& itemName, uint16_t fileAttr,
                                         TDateTime fileDate, TStream& stream);

 private:
  friend class TZelZip;

  // Reading side.
  bool ParseArchive();
  bool FindEndRecord();
  bool ReadCentralDirectory();
  void ReadLocalHeaders();
  bool RecoverFromLocalHeaders();

  // Writing side.
  // Adds a member whose content prepare() gives, after its folder chain.
  TZelZipEntriesEntry* AddPreparedItem(const std::string& itemName,
                                       const std::function<TPreparedZipItem()>& prepare);
  TZelZipEntriesEntry* AppendPreparedFast(TPreparedZipItem item);
  TZelZipEntriesEntry* AppendPreparedRebuild(TPreparedZipItem item);
  void RemoveSameNamed(const TPreparedZipItem& item);
  void CheckAddLimits(const TPreparedZipItem& item) const;
  void RemoveInPlace(int64_t offset, int64_t localSize);
  void WalkFolder(const std::string& folder, const std::string& rootFolder,
                  const std::string& wildCard, bool withSubFolders);
  // Fields that follow from the records, and the change notice, once an add is written.
  TZelZipEntriesEntry* Commit(TZelZipEntriesEntry& entry, const TPreparedZipItem& item);
  // Rewrites the archive into a second stream (with the new member, when given), puts the
  // result over the archive, and updates offsets and the end record to the new layout.
  void RebuildArchive(const TPreparedZipItem* added);
  // Copies every member's local record into out; gives their new offsets.
  std::vector<int64_t> WriteLocalRecords(TStream& out);
  TEndOfCentralDir WriteCentralDirectory(TStream& out, const std::vector<int64_t>& offsets);
  void WriteEndRecord(TStream& out, const TEndOfCentralDir& end, const std::string& comment);
  // A member's local record size, or EZipError when the archive lacks its local header or the
  // record would run into the central directory.
  int64_t CheckedLocalRecordSize(const TZelZipEntriesEntry& entry) const;

  // To be called whenever items_ loses or reorders members (appends are picked up).
  void ForgetNameIndex() {
    byName_.clear();
    namesIndexed_ = 0;
  }

  TZelZip& zip_;
  std::vector<std::unique_ptr<TZelZipEntriesEntry>> items_;
  bool isZipFileFlag_ = false;
  // Index of the first member of each name (its ToZipName in lower case) among the first
  // namesIndexed_ members, so that finding a name among n members does not cost n.
  mutable std::unordered_map<std::string, int> byName_;
  mutable size_t namesIndexed_ = 0;
};

class TZelZip {
 public:
  TZelZip();
  virtual ~TZelZip();
  TZelZip(const TZelZip&) = delete;
  TZelZip& operator=(const TZelZip&) = delete;

  // Properties.
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& fileName) { fileName_ = fileName; }
  bool IsZipFile() const { return isZipFile_; }
  TZipSaveMethod SaveMethod() const { return saveMethod_; }
  void SetSaveMethod(TZipSaveMethod method) { saveMethod_ = method; }
  bool StoreRelativePath() const { return storeRelativePath_; }
  void SetStoreRelativePath(bool value) { storeRelativePath_ = value; }
  bool StoreFolders() const { return storeFolders_; }
  void SetStoreFolders(bool value) { storeFolders_ = value; }
  TZipCompressionType CompressionType() const { return compressionType_; }
  // ctUnknown is stored as ctNormal.
  void SetCompressionType(TZipCompressionType type);
  // The archive comment, split into lines at CR LF, LF or CR.
  std::vector<std::string> Comment();
  // Writes the lines, each followed by CR LF, as the comment; the file ends right after it.
  void SetComment(const std::vector<std::string>& lines);
  // Member names with "\" as separator, in directory order.
  const std::vector<std::string>& FileNames();
  bool UseTempFiles() const { return useTempFiles_; }
  void SetUseTempFiles(bool value) { useTempFiles_ = value; }
  TOverwriteAction OverwriteAction() const { return overwriteAction_; }
  void SetOverwriteAction(TOverwriteAction action) { overwriteAction_ = action; }
  std::string ComponentVersion() const { return "2.0"; }
  bool ReadOnly() const { return readOnly_; }
  bool ApplyAtributes() const { return applyAtributes_; }
  void SetApplyAtributes(bool value) { applyAtributes_ = value; }
  // A folder (ending with "/", made when missing) where a member's deflate data beyond
  // TSpillingOutput::kMemberInMemory waits until it is appended, instead of memory; empty:
  // memory.
  const std::string& SpillFolder() const { return spillFolder_; }
  void SetSpillFolder(const std::string& folder) { spillFolder_ = folder; }
  bool Active() const { return isZipFile_; }
  // True opens FileName, false closes; nothing happens while FileName is empty.
  void SetActive(bool active);

  TOnDecompressFile OnDecompressFile;  // not raised by any operation
  TOnCompressFile OnCompressFile;
  TOnZipChange OnZipChange;
  TOnZipOpen OnZipOpen;
  TOnAddItem OnAddItem;
  TOnRebuildZip OnRebuildZip;
  TOnRemoveItems OnRemoveItems;
  TOnOverwriteFile OnOverwriteFile;  // not raised by any operation

  TZelZipEntries& Entries() { return entries_; }
  const TZelZipEntries& Entries() const { return entries_; }

  // The end record as the file holds it (with the size of the directory records read), where
  // it stands, and where the comment begins.
  const TEndOfCentralDir& EndRecord() const { return endRecord_; }
  // How often a central directory and end record were written since construction.
  int64_t DirectoryWrites() const { return directoryWrites_; }
  int64_t EndRecordPosition() const { return endRecordPosition_; }
  int64_t CommentPosition() const { return commentPosition_; }

  // Writes the 22-byte empty archive at the stream's position; changes nothing here.
  void CreateEmptyArchive(TStream& stream);
  // Raises Exception "File "name" not found!" when the file does not exist. A file that
  // holds no archive leaves the component closed (IsZipFile false), without an error.
  void OpenArchive(const std::string& fileName);
  void OpenArchiveStream(std::unique_ptr<TStream> stream);
  // Forgets the members and releases the archive stream (a file is closed, and a failure
  // to close it is raised).
  void CloseArchive();

 protected:
  virtual void ZipChanged(int32_t changeType);

 private:
  friend class TZelZipEntries;

  // The archive stream, or EZipError naming the operation when no archive is open.
  TStream& ArchiveStream(const std::string& itemName) const;
  TStream& WritableArchive(const std::string& itemName) const;
  // The name that errors give for the archive.
  std::string ArchiveName() const;
  // The comment bytes that the end record counts.
  std::string StoredComment();
  // Writes the directory from directoryOffset, then the end record and the comment, and
  // keeps EndRecord and the positions equal to what was written; returns the end position.
  // Counted in DirectoryWrites.
  int64_t WriteDirectoryAndEnd(int64_t directoryOffset, const std::string& comment);
  // Ends a deferral: writes the directory when a member was added meanwhile.
  void WritePendingDirectory();
  // Instead of WriteDirectoryAndEnd while the directory is deferred: EndRecord and the
  // positions as they will be once the directory, grown by one record, is written there.
  void NoteDirectoryPending(int64_t directoryOffset, int64_t recordSize,
                            const std::string& comment);
  void ReleaseStream();
  // Puts content over the archive from offset 0; on a failure the old bytes are put back.
  void ReplaceArchiveContent(TStream& content);

  std::string fileName_;
  bool isZipFile_ = false;
  TZipSaveMethod saveMethod_ = TZipSaveMethod::FastSave;
  bool storeRelativePath_ = true;
  bool storeFolders_ = true;
  TZipCompressionType compressionType_ = TZipCompressionType::ctMaximum;
  bool useTempFiles_ = false;
  TOverwriteAction overwriteAction_ = TOverwriteAction::oaSkip;
  bool readOnly_ = false;
  bool applyAtributes_ = true;
  std::string spillFolder_;
  mutable int64_t spillCount_ = 0;

  TZelZipEntries entries_{*this};
  std::unique_ptr<TStream> stream_;
  TEndOfCentralDir endRecord_;
  int64_t endRecordPosition_ = 0;
  int64_t commentPosition_ = 0;
  std::vector<std::string> comment_;
  std::vector<std::string> fileNames_;
  bool fileNamesDirty_ = true;
  bool batchAdding_ = false;
  // Set while AddFolderTree adds: the directory is written once, after its last member, and
  // EndRecord meanwhile describes the directory that is still to be written.
  bool directoryDeferred_ = false;
  bool directoryPending_ = false;  // a member was added since the directory was written
  int64_t directoryWrites_ = 0;
};

}  // namespace voltrane
