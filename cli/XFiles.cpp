#include "cli/XFiles.h"

#include <cstdio>
#include <map>

#include "cli/Version.h"

namespace voltrane {

namespace {

// The compiled-in block: one translation (language 0x0405, code page 1250) and its values,
// queried by the same paths as a version resource.
constexpr uint16_t kLanguage = 0x0405;
constexpr uint16_t kCodePage = 1250;

const std::map<std::string, std::string>& VersionStrings() {
  static const std::map<std::string, std::string> strings = {
      {"FileDescription", VOLTRANE_FILE_DESCRIPTION},
      {"FileVersion", VOLTRANE_FILE_VERSION},
      {"ProductVersion", VOLTRANE_PRODUCT_VERSION},
      {"ProductName", VOLTRANE_PRODUCT_NAME},
  };
  return strings;
}

std::string QueryValue(const std::string& path) {
  if (path == "\\VarFileInfo\\Translation") {
    char text[16];
    std::snprintf(text, sizeof text, "%.8X", (unsigned(kLanguage) << 16) | kCodePage);
    return text;
  }
  const std::string prefix = "\\StringFileInfo\\";
  if (path.compare(0, prefix.size(), prefix) != 0) return "";
  std::string rest = path.substr(prefix.size());
  size_t slash = rest.find('\\');
  if (slash == std::string::npos || rest.substr(0, slash) != QueryValue("\\VarFileInfo\\Translation"))
    return "";
  auto found = VersionStrings().find(rest.substr(slash + 1));
  return found == VersionStrings().end() ? "" : found->second;
}

}  // namespace

std::string TXFileVersion::GetValue(const std::string& name) {
  Size = uint32_t(VersionStrings().size());
  if (Size == 0) return "";
  std::string translation = QueryValue("\\VarFileInfo\\Translation");
  std::string value = QueryValue("\\StringFileInfo\\" + translation + "\\" + name);
  Buffer.clear();
  return value;
}

std::string GetExeFileVersion() { return TXFileVersion().GetValue("FileVersion"); }

}  // namespace voltrane
