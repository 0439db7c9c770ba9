#include "zip/RebuildTarget.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace voltrane {

TRebuildTarget::TRebuildTarget(bool useTempFile) {
  if (!useTempFile) return;
  const char* folder = std::getenv("TMPDIR");
  std::string prefix = std::string(folder && *folder ? folder : "/tmp") + "/";
  file_ = TFileStream::CreateUnique(prefix);  // mkstemp: a fresh name nobody else holds
  ::chmod(file_->Path().c_str(), 0600);       // archive contents are nobody else's business
}

TRebuildTarget::~TRebuildTarget() {
  if (file_) ::unlink(file_->Path().c_str());
}

}  // namespace voltrane
