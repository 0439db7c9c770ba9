#include "zip/ArchiveWriter.h"

#include <algorithm>
#include <numeric>

#include "rt/DateTime.h"
#include "rt/Path.h"
#include "util/Crc32.h"
#include "zip/DeflateQueue.h"
#include "zip/ZipErrors.h"
#include "zip/ZipItem.h"
#include "zip/ZipNames.h"

namespace voltrane {

namespace {

constexpr TZipCompressionType kCompression = TZipCompressionType::ctMaximum;
constexpr uint16_t kFileAttributes = 0x20;
constexpr uint16_t kHiddenAttribute = 0x02;

// The MS-DOS attributes a file of that name has in a folder walk: a name that starts with
// "." is hidden.
uint16_t FileAttributes(const std::string& name) {
  std::string last = name.substr(name.rfind('/') + 1);
  return last.compare(0, 1, ".") == 0 ? kFileAttributes | kHiddenAttribute : kFileAttributes;
}

// Whether stored name a comes before b in a walk of the folder tree: byte order, with "/"
// below every other byte, so that a folder's members follow it before its next sibling.
bool ComesFirstInWalk(const std::string& a, const std::string& b) {
  auto rank = [](char c) { return c == '/' ? -1 : int(static_cast<unsigned char>(c)); };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return rank(x) < rank(y); });
}

}  // namespace

// A member whose content is written to it piece by piece (the index, which grows until the
// run ends): deflated as it comes, so that little is left to do at the end.
class TStreamedMember : public TStream {
 public:
  TStreamedMember(std::string name, const std::string& spillPath)
      : name_(std::move(name)),
        output_(spillPath),
        deflater_(LevelOf(kCompression), output_, TDeflateFormat::Raw) {}

  int64_t Read(void*, int64_t) override { throw ECompressionError("Invalid stream operation"); }
  int64_t Write(const void* buffer, int64_t count) override {
    crc_ = Crc32Of(std::string_view(static_cast<const char*>(buffer), size_t(count)), crc_);
    deflater_.WriteBuffer(buffer, count);
    size_ += count;
    return count;
  }
  // Only Seek(0, Current): the content only grows.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    if (offset != 0 || origin != TSeekOrigin::Current)
      throw ECompressionError("Invalid stream operation");
    return size_;
  }

  // Finishes the deflate stream: the member as PrepareZipContent would make it, stamped with
  // the time it is complete, as a file is with its last change.
  TPreparedZipItem Finish() {
    TPreparedZipItem item;
    item.UncompressedSize = size_;
    if (size_ > 0) {  // empty content is stored
      deflater_.Finish();
      item.Method = kMethodDeflated;
      item.Crc32 = crc_;
      output_.MoveInto(item);
    }
    NameZipItem(item, name_, FileAttributes(name_), Now(), true);
    return item;
  }

 private:
  const std::string name_;
  TSpillingOutput output_;
  TCompressionStream deflater_;
  uint32_t crc_ = 0;
  int64_t size_ = 0;
};

TArchiveWriter::TArchiveWriter(const std::string& archivePath, std::string spillFolder, int workers)
    : spillFolder_(std::move(spillFolder)),
      file_(std::make_unique<TFileStream>(archivePath, TFileMode::Create)) {
  if (workers > 0) {
    queue_ = std::make_unique<TDeflateQueue>(workers, kCompression);
    heldLimit_ = kHeldBytesPerWorker * (workers + 1);
  }
}

TArchiveWriter::~TArchiveWriter() = default;

void TArchiveWriter::AddFolder(const std::string& name) {
  AddFolderChain(name + "x");
}

void TArchiveWriter::AddFolderChain(const std::string& name) {
  for (size_t slash = name.find('/'); slash != std::string::npos;
       slash = name.find('/', slash + 1)) {
    std::string folder = name.substr(0, slash + 1);
    if (!folders_.insert(folder).second) continue;
    TPreparedZipItem item;
    NameZipItem(item, folder, uint16_t(kAttrFolder), Now(), true);
    AppendLast(std::move(item));
  }
}

void TArchiveWriter::AddMember(const std::string& name, std::string bytes, uint32_t crc) {
  AddFolderChain(name);
  TMemberInfo info{name, FileAttributes(name), Now()};
  if (!queue_) {
    TPreparedZipItem item = PrepareZipBytes(bytes, crc, kCompression);
    NameZipItem(item, info.Name, info.Attributes, info.Time, true);
    Append(item);
    return;
  }
  queue_->Add(std::move(info), std::move(bytes), crc);
  AppendDeflated(false);
  // Waits for the oldest members while those on their way hold too much.
  while (!queue_->Empty() && queue_->HeldBytes() > heldLimit_) Append(queue_->TakeOldest());
}

TStream& TArchiveWriter::BeginStreamedMember(const std::string& name) {
  if (streamed_) throw EZipError("Cannot add \"" + name + "\": another member is being written");
  streamed_ =
      std::make_unique<TStreamedMember>(name, spillFolder_ + ExtractFileName(name) + ".deflate");
  return *streamed_;
}

void TArchiveWriter::EndStreamedMember() {
  TPreparedZipItem item = streamed_->Finish();
  streamed_.reset();
  AddFolderChain(item.StoredName);
  AppendLast(std::move(item));
}

void TArchiveWriter::AppendLast(TPreparedZipItem item) {
  AppendDeflated(true);
  Append(item);
}

void TArchiveWriter::AppendDeflated(bool wait) {
  if (!queue_) return;
  while (!queue_->Empty() && (wait || queue_->OldestDone())) Append(queue_->TakeOldest());
}

void TArchiveWriter::Append(const TPreparedZipItem& item) {
  TAppended appended;
  TLocalFile local = MakeLocalFile(item);
  appended.LocalSize = kLocalHeaderSize + int64_t(item.StoredName.size()) + item.CompressedSize();
  appended.Central = CentralRecordFor(local, item.FileAttr, end_);
  int64_t directorySize = directorySize_ + CentralRecordSize(appended.Central);
  std::string limit = ExceededZipLimit(int64_t(appended_.size()) + 1,
                                       int64_t(item.StoredName.size()), item.UncompressedSize,
                                       end_ + appended.LocalSize + directorySize + kEndRecordSize);
  if (!limit.empty())
    throw EZipError("Cannot add \"" + item.ItemName + "\" to archive \"" + file_->Path() +
                    "\": the archive format allows no " + limit);
  WriteLocalRecord(*file_, local, item);
  file_->StartWriteBack();  // the disk writes while the next members are deflated
  end_ += appended.LocalSize;
  directorySize_ = directorySize;
  appended_.push_back(std::move(appended));
}

void TArchiveWriter::Finish() {
  if (streamed_) EndStreamedMember();
  AppendDeflated(true);
  PutInWalkOrder();
  WriteDirectory();
  file_->Sync();
  file_->Close();
}

void TArchiveWriter::PutInWalkOrder() {
  std::vector<size_t> order(appended_.size());
  std::iota(order.begin(), order.end(), size_t(0));
  auto walk = [this](size_t a, size_t b) {
    return ComesFirstInWalk(appended_[a].Central.FileName, appended_[b].Central.FileName);
  };
  if (std::is_sorted(order.begin(), order.end(), walk)) return;
  // Members came in another order than a walk lists them (chunks of a later source whose
  // names sort first): their records are copied in walk order into a second file, which
  // becomes the archive.
  std::stable_sort(order.begin(), order.end(), walk);
  std::unique_ptr<TFileStream> sorted = TFileStream::CreateUnique(file_->Path() + "-");
  TRemovedUnlessKept sortedFile(sorted->Path());
  std::vector<TAppended> reordered;
  for (size_t index : order) {
    TAppended member = appended_[index];
    file_->SetPosition(member.Central.RelativeOffsetOfLocalHeader);
    member.Central.RelativeOffsetOfLocalHeader = uint32_t(sorted->Position());
    sorted->CopyFrom(*file_, member.LocalSize);
    reordered.push_back(std::move(member));
  }
  std::string unsorted = file_->Path();
  file_->Close();
  RemoveFile(unsorted);
  file_ = std::move(sorted);
  sortedFile.Keep();
  appended_ = std::move(reordered);
}

void TArchiveWriter::WriteDirectory() {
  std::string directory;
  for (const TAppended& member : appended_) directory += EncodeCentralRecord(member.Central);
  TEndOfCentralDir end =
      MakeEndRecord(int64_t(appended_.size()), int64_t(directory.size()), file_->Position(), 0);
  file_->WriteString(directory + EncodeEndRecord(end));
}

}  // namespace voltrane
