#include "FuzzSupport.h"

#include <stdlib.h>

#include "util/DeleteTree.h"

namespace voltrane::fuzz {

namespace {

struct TScratch {
  TScratch() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/voltrane-fuzz-XXXXXX";
    if (mkdtemp(pattern.data())) path = pattern + "/";
  }
  ~TScratch() { DeleteTree(path); }
  std::string path;
};

}  // namespace

const std::string& ScratchFolder() {
  static TScratch scratch;
  return scratch.path;
}

void RemoveTreeContents(const std::string& folder) {
  DeleteTree(folder);
}

}  // namespace voltrane::fuzz
