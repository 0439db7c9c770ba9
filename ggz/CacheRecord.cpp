#include "ggz/CacheRecord.h"

namespace voltrane {

// Records come with the XML library; until then chunks are listed without them.
std::string BuildCacheRecord(const std::string&, int64_t, int64_t) {
  return std::string();
}

}  // namespace voltrane
