#include "zip/ZipFolder.h"

#include "rt/Path.h"
#include "rt/Stream.h"
#include "zip/ZelZip.h"

namespace voltrane {

void ZipFolder(const std::string& archivePath, const std::string& folderPath,
               const std::string& spillFolder) {
  RemoveFile(archivePath);  // whether it existed does not matter
  // The path is cut after its last separator, which is then dropped.
  std::string folder = ExtractFilePath(folderPath);
  if (folder.size() > 1) folder.pop_back();
  TZelZip zip;
  {
    TFileStream file(archivePath, TFileMode::Create);
    zip.CreateEmptyArchive(file);
    file.Close();
  }
  zip.SetSpillFolder(spillFolder);
  zip.OpenArchive(archivePath);
  zip.Entries().AddFolderTree(folder, folder, "*.*", true);
  zip.CloseArchive();
}

}  // namespace voltrane
