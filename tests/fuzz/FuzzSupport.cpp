#include "FuzzSupport.h"

#include <sanitizer/asan_interface.h>
#include <stdio.h>
#include <stdlib.h>

#include "util/DeleteTree.h"
#include "xml/XmlPool.h"

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

void RequireXmlPoolOff() {
  for (size_t size : {size_t(48), kXmlPoolLargest + 1}) {
    void* block = XmlPoolAllocate(size);
    XmlPoolFree(block, size);
    if (!__asan_address_is_poisoned(block)) {
      fprintf(stderr, "the XML pool keeps freed blocks under AddressSanitizer\n");
      abort();
    }
  }
}

}  // namespace voltrane::fuzz
