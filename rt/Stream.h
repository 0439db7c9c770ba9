// Byte streams: the seam between the readers/writers and files or memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace voltrane {

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Up to count bytes; the number read, 0 at end of input.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Returns the number written (file streams raise instead of writing short).
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual void SetSize(int64_t size);
  virtual int64_t Size();

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }

  // Exactly count bytes or EReadError / EWriteError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteString(const std::string& text) { WriteBuffer(text.data(), int64_t(text.size())); }
  // Everything from the current position to the end.
  std::string ReadRest();
  // Copies count bytes from source's current position (all of source from 0 when count <= 0).
  int64_t CopyFrom(TStream& source, int64_t count);
};

enum class TFileMode {
  Create,        // created anew, an existing file emptied; read and write
  OpenRead,      // existing file, read only
  OpenReadWrite  // existing file, read and write
};

// A file on disk. Every failure raises a file error naming the path and the system's reason,
// so a full disk never passes silently.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& path, TFileMode mode);
  ~TFileStream() override;

  // Creates a new file named prefix + six unique characters, readable and writable as the
  // user's umask allows (not only by the owner, as mkstemp would leave it).
  static std::unique_ptr<TFileStream> CreateUnique(const std::string& prefix);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override;

  // Flushes the file to the device (before it replaces another by rename).
  void Sync();
  // Starts writing to the device what has been written so far, without waiting for it, so
  // that the Sync at the end has less left to wait for. Where the system has no such call,
  // it does nothing.
  void StartWriteBack();
  // Closes now and reports a failure that the destructor would have to swallow.
  void Close();

  const std::string& Path() const { return path_; }

 private:
  TFileStream(intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  intptr_t handle_ = -1;  // a descriptor or a HANDLE; -1 once closed
  std::string path_;
};

// A growable in-memory stream over a byte string.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return int64_t(data_.size()); }

  const std::string& DataString() const { return data_; }
  std::string& DataString() { return data_; }

 private:
  std::string data_;
  int64_t position_ = 0;
};

// A read-only stream over bytes owned by somebody else, who keeps them alive meanwhile.
class TViewStream : public TStream {
 public:
  TViewStream(const char* data, int64_t size) : data_(data), size_(size) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }

 private:
  const char* data_;
  int64_t size_;
  int64_t position_ = 0;
};

}  // namespace voltrane
