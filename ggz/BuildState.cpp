#include "ggz/BuildState.h"

#include "ggz/ChunkName.h"

#include "rt/AsciiText.h"
#include "rt/Path.h"

namespace voltrane {

std::string TBuildState::ClaimChunkBaseName(const std::string& sourcePath) {
  std::string name = PortableFileName(ExtractFileName(sourcePath));
  size_t dot = name.rfind('.');
  std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  std::string extension = dot == std::string::npos ? "" : name.substr(dot);
  std::string claimed = stem;
  for (int k = 2; usedStems_.count(AsciiLowerCase(claimed)); ++k)
    claimed = stem + "-" + std::to_string(k);
  usedStems_.insert(AsciiLowerCase(claimed));
  return claimed + extension;
}

}  // namespace voltrane
