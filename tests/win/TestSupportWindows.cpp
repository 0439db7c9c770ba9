// The test support on Windows, on the runtime's own files and folders: the tests of the units
// run there, the end-to-end runs from the Linux build (WineEndToEndTest.cpp).
#include <stdexcept>

#include "TestSupport.h"
#include "rt/Exception.h"
#include "rt/FileList.h"
#include "rt/Path.h"
#include "rt/Platform.h"
#include "rt/Stream.h"
#include "util/DeleteTree.h"

namespace voltrane::test {

TTempFolder::TTempFolder() {
  int error = 0;
  if (!CreateUniqueFolder(TemporaryFolder() + "voltrane-test-", path_, error))
    throw std::runtime_error("cannot make a test folder: " + SysErrorText(error));
  path_ = IncludeTrailingPathDelimiter(path_);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  TFileStream(path, TFileMode::Create).WriteString(bytes);
}

std::string ReadFile(const std::string& path) {
  TFileStream file(path, TFileMode::OpenRead);
  return file.ReadRest();
}

bool PathExists(const std::string& path) {
  TFileEntry entry;
  return FindEntry(path, entry);
}

std::vector<std::string> ListNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const TFileEntry& entry : ListFolder(folder, "*")) names.push_back(entry.Name);
  return names;
}

void RemoveTree(const std::string& path) {
  if (DirectoryExists(path))
    DeleteTree(path);
  else
    RemoveFile(path);
}

TProcessResult RunProcess(const std::vector<std::string>& argv, const TProcessOptions&) {
  throw std::runtime_error("no child processes in the Windows test build: " + argv.at(0));
}

}  // namespace voltrane::test
