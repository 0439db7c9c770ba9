#include "util/DeleteTree.h"

#include "rt/FileList.h"
#include "rt/Path.h"
#include "rt/Platform.h"

namespace voltrane {

void DeleteTree(const std::string& folder) {
  std::string root = ExcludeTrailingPathDelimiter(folder);
  int error = 0;
  std::vector<TFileEntry> entries = ListFolder(root, "*", &error);
  if (error != 0) return;
  for (const TFileEntry& entry : entries) {
    std::string path = root + kPathDelimiter + entry.Name;
    if (entry.IsFolder && !entry.IsLink)
      DeleteTree(path);
    else
      RemoveFile(path);
  }
  RemoveEmptyFolder(root);
}

}  // namespace voltrane
