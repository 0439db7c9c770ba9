#pragma once
#include <string>
namespace voltrane {
void ZipFolder(const std::string& archivePath, const std::string& folderPath);
}
