// Temporary stand-in until the ZIP component lands: writes the empty archive only.
#include "zip/ZipFolder.h"
#include "rt/Stream.h"
namespace voltrane {
void ZipFolder(const std::string& archivePath, const std::string&) {
  TFileStream file(archivePath, TFileMode::Create);
  static const char kEmpty[22] = {'P', 'K', 5, 6};
  file.WriteBuffer(kEmpty, 22);
  file.Close();
}
}  // namespace voltrane
