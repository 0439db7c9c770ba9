// Zipping a folder tree into a new archive file.
#pragma once

#include <string>

namespace voltrane {

class TDeflatePool;

// Replaces the file at archivePath by an archive of every file under folderPath (which ends
// with "/"), named relative to it, with a member for every folder below it. With a pool,
// files it has deflated already are taken from it and the others are deflated ahead on it;
// the archive is byte for byte the one made without. With a spill folder, a very large
// member (see kOneWriteLimit) waits there instead of in memory. The archive is written, not
// yet flushed to the device.
void ZipFolder(const std::string& archivePath, const std::string& folderPath,
               TDeflatePool* pool = nullptr, const std::string& spillFolder = "");

}  // namespace voltrane
