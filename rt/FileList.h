// Listing a folder by wildcard mask, sorted by name so every run sees the same order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voltrane {

// "*" any run of bytes, "?" one byte (or itself, when questionMarkIsWildcard is false),
// every other byte itself with ASCII letters compared without regard to case.
bool MatchesMask(const std::string& name, const std::string& mask,
                 bool questionMarkIsWildcard = true);

struct TFileEntry {
  std::string Name;             // without folder
  bool IsFolder = false;        // a folder, or a link to one
  bool IsLink = false;          // the entry itself is a symbolic link
  bool IsDevice = false;        // a device or a socket (or a link to one): no file to read
  bool IsFifo = false;          // a named pipe (or a link to one)
  uint16_t Attributes = 0;      // MS-DOS attributes: 0x10 folder, 0x20 file, 0x01, 0x02
  int64_t ModifiedSeconds = 0;  // last write, seconds since 1970 UTC
  int64_t ModifiedNanoseconds = 0;
};

// Every entry of the folder (hidden ones included, "." and ".." not) whose name matches
// the mask, sorted by name in byte order. A folder that cannot be read gives no entries;
// errorNumber, when given, receives the reason (0 when it was read).
std::vector<TFileEntry> ListFolder(const std::string& folder, const std::string& mask,
                                   int* errorNumber = nullptr);

// In byte order of the names (UTF-8 on every platform), so that every system lists alike.
void SortByName(std::vector<TFileEntry>& entries);

// The entry for one path, as the listing would give it; false when it does not exist.
bool FindEntry(const std::string& path, TFileEntry& entry);

}  // namespace voltrane
