#include "zip/RebuildTarget.h"

#include "rt/Path.h"
#include "rt/Platform.h"

namespace voltrane {

TRebuildTarget::TRebuildTarget(bool useTempFile) {
  if (!useTempFile) return;
  file_ = TFileStream::CreateUnique(TemporaryFolder());  // a fresh name nobody else holds
  MakeOwnerOnly(file_->Path());  // archive contents are nobody else's business
}

TRebuildTarget::~TRebuildTarget() {
  if (!file_) return;
  std::string path = file_->Path();
  file_.reset();  // closed first: Windows deletes no open file
  RemoveFile(path);
}

}  // namespace voltrane
