// Helpers of the ZIP tests: little-endian fields, zlib's own deflate data, an archive file to
// change, and an independent reader (unzip) asked about the result.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "rt/Stream.h"
#include "zip/ZelZip.h"

namespace voltrane::test {

// The value as that many little-endian bytes.
inline std::string Le(uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += char(value >> (8 * i) & 0xFF);
  return out;
}

// Bytes from pairs of hexadecimal digits; blanks between pairs are ignored.
inline std::string Hex(const std::string& digits) {
  std::string bytes;
  for (size_t i = 0; i < digits.size(); ++i)
    if (digits[i] != ' ') bytes += char(std::stoi(digits.substr(i++, 2), nullptr, 16));
  return bytes;
}

// Incompressible bytes, the same for the same seed.
inline std::string Noise(size_t size, uint32_t seed = 12345) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += char((seed = seed * 1103515245 + 12345) >> 24);
  return bytes;
}

// zlib's raw deflate of the content in one call: its zlib stream without the two-byte header
// and the four-byte checksum.
inline std::string RawDeflate(const std::string& content, int level) {
  std::string out(compressBound(uLong(content.size())), '\0');
  uLongf size = uLongf(out.size());
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                      reinterpret_cast<const Bytef*>(content.data()), uLong(content.size()), level),
            Z_OK);
  return out.substr(2, size - 6);
}

// The bytes of one member as unzip extracts them.
inline std::string UnzipMember(const std::string& archive, const std::string& member) {
  return RunProcess({"/usr/bin/unzip", "-p", archive, member}).Output;
}

// A memory stream that counts the writes reaching it, and whose next write fails once armed,
// as on a full disk.
class TWatchedStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  int64_t Write(const void* buffer, int64_t count) override {
    ++Writes;
    return std::exchange(FailNextWrite, false) ? 0 : TMemoryStream::Write(buffer, count);
  }
  int Writes = 0;
  bool FailNextWrite = false;
};

using TMembers = std::vector<std::pair<std::string, std::string>>;

// unzip finds no error in the archive and extracts each member's content.
inline void ExpectReadable(const std::string& archive, const TMembers& members) {
  TProcessResult check = RunProcess({"/usr/bin/unzip", "-t", archive});
  EXPECT_EQ(check.ExitCode, 0) << check.Output;
  for (const auto& [name, content] : members)
    EXPECT_EQ(UnzipMember(archive, name), content) << name;
}

// The stored names of the archive in directory order.
inline std::vector<std::string> MemberNames(const std::string& archive) {
  TZelZip zip;
  zip.OpenArchive(archive);
  std::vector<std::string> names;
  for (int i = 0; i < zip.Entries().Count(); ++i)
    names.push_back(zip.Entries()[i].CentralDirectoryFile.FileName);
  return names;
}

// An empty archive file in a temporary folder, open in the component that changes it.
class ZipFile : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      TFileStream file(archive, TFileMode::Create);
      zip.CreateEmptyArchive(file);
    }
    Open();
  }
  void Open() { zip.OpenArchive(archive); }
  TZelZipEntriesEntry* Add(const std::string& name, const std::string& content,
                           uint16_t attr = 0x20) {
    TMemoryStream stream(content);
    return zip.Entries().AddStreamItem(name, attr, kDate, stream);
  }

  // Stored as 10:15:58: DOS times count two-second steps.
  const TDateTime kDate = EncodeDateTime({2009, 3, 7, 10, 15, 59});
  TTempFolder dir;
  std::string archive = dir / "a.zip";
  TZelZip zip;
};

}  // namespace voltrane::test
