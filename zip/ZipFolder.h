// Zipping a folder tree into a new archive file.
#pragma once

#include <string>

namespace voltrane {

// Replaces the file at archivePath by an archive of every file under folderPath (which ends
// with "/"), named relative to it, with a member for every folder below it. With a spill
// folder, a very large member waits there instead of in memory. The archive is written, not
// yet flushed to the device.
void ZipFolder(const std::string& archivePath, const std::string& folderPath,
               const std::string& spillFolder = "");

}  // namespace voltrane
