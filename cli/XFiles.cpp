#include "cli/XFiles.h"

#include <cstdio>

#include "cli/Version.h"
#include "rt/Platform.h"

namespace voltrane {

namespace {

// Where executables carry no version resource, the compiled-in version block stands in:
// entries of "path\0value\0", queried by the same paths as a version resource. One
// translation: language 0x0405 with code page 1250.
const std::string& VersionBlock() {
  static const std::string block = [] {
    std::string b;
    auto add = [&b](const std::string& path, const std::string& value) {
      b += path + '\0' + value + '\0';
    };
    add("\\VarFileInfo\\Translation", std::string("\x05\x04\xE2\x04", 4));  // 0x0405, 1250
    const std::string strings = "\\StringFileInfo\\040504E2\\";
    add(strings + "FileDescription", VOLTRANE_FILE_DESCRIPTION);
    add(strings + "FileVersion", VOLTRANE_FILE_VERSION);
    add(strings + "ProductVersion", VOLTRANE_PRODUCT_VERSION);
    add(strings + "ProductName", VOLTRANE_PRODUCT_NAME);
    return b;
  }();
  return block;
}

uint32_t GetVersionInfoSize(uint32_t& handle) {
  if (kExecutablesCarryVersionResources) return ExeVersionInfoSize(handle);
  handle = 0;
  return uint32_t(VersionBlock().size());
}

bool GetVersionInfo(uint32_t handle, uint32_t size, std::string& buffer) {
  if (kExecutablesCarryVersionResources) return ReadExeVersionInfo(handle, size, buffer);
  if (size != VersionBlock().size()) return false;
  buffer = VersionBlock();
  return true;
}

// The value stored under the path, or false when there is none.
bool QueryValue(const std::string& block, const std::string& path, std::string& value) {
  if (kExecutablesCarryVersionResources) return QueryExeVersionValue(block, path, value);
  for (size_t at = 0; at < block.size();) {
    size_t pathEnd = block.find('\0', at);
    size_t valueEnd = block.find('\0', pathEnd + 1);
    if (pathEnd == std::string::npos || valueEnd == std::string::npos) return false;
    if (block.compare(at, pathEnd - at, path) == 0) {
      value = block.substr(pathEnd + 1, valueEnd - pathEnd - 1);
      return true;
    }
    at = valueEnd + 1;
  }
  return false;
}

}  // namespace

std::string TXFileVersion::GetValue(const std::string& name) {
  Size = GetVersionInfoSize(Handle);
  if (Size == 0) return "";
  std::string value;
  if (GetVersionInfo(Handle, Size, Buffer)) {
    std::string translation, raw;
    if (QueryValue(Buffer, "\\VarFileInfo\\Translation", raw) && raw.size() >= 4) {
      auto byte = [&raw](int i) { return unsigned(static_cast<unsigned char>(raw[size_t(i)])); };
      char text[16];
      std::snprintf(text, sizeof text, "%.8X",
                    (byte(0) | byte(1) << 8) << 16 | (byte(2) | byte(3) << 8));
      translation = text;
    }
    if (!QueryValue(Buffer, "\\StringFileInfo\\" + translation + "\\" + name, value)) value.clear();
  }
  Buffer.clear();
  return value;
}

std::string GetExeFileVersion() {
  return TXFileVersion().GetValue("FileVersion");
}

}  // namespace voltrane
