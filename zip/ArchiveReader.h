// An archive read member by member, for checking it: its directory, whether each member's
// local header agrees with its central record, and each member's content as a stream,
// stored or inflated in 64 KiB blocks and checked against its CRC-32 and size at its end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "rt/Stream.h"

namespace voltrane {

class TZelZip;

class TArchiveReader {
 public:
  // Opens the file for reading only; raises the file's error when it cannot be opened.
  explicit TArchiveReader(const std::string& path);
  ~TArchiveReader();
  TArchiveReader(const TArchiveReader&) = delete;
  TArchiveReader& operator=(const TArchiveReader&) = delete;

  // False when no end record and central directory could be read.
  bool IsArchive() const;
  int Count() const;
  // The member's name as stored, its CRC-32 and sizes as the central directory gives them.
  const std::string& Name(int member) const;
  uint32_t Crc32(int member) const;
  int64_t Size(int member) const;
  // The member of exactly that stored name, or -1.
  int IndexOf(const std::string& name) const;

  // What keeps the member from being read, or where its local header disagrees with its
  // central record (name, method, CRC-32, sizes); empty when nothing does.
  std::string RecordFault(int member) const;
  // The member's content. Reading it raises EZipError for damaged deflate data and, at its
  // end, for a CRC-32 or size other than the directory's. Only one is read at a time.
  std::unique_ptr<TStream> OpenMember(int member);

 private:
  std::unique_ptr<TZelZip> zip_;
  bool isArchive_ = false;
  TStream* stream_ = nullptr;  // the archive file, owned by zip_
};

}  // namespace voltrane
