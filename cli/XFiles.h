// Version information of the running executable: its version resource on Windows, else
// compiled in from the project version.
#pragma once

#include <cstdint>
#include <string>

namespace voltrane {

class TXFileVersion {
 public:
  // A string value of the version information ("FileVersion", "ProductName", ...) or "".
  std::string GetValue(const std::string& name);

 private:
  uint32_t Size = 0;
  std::string Buffer;
  uint32_t Handle = 0;
};

// The executable's "FileVersion", or "" when it has none.
std::string GetExeFileVersion();

}  // namespace voltrane
