// A folder for the whole fuzzing run of a target that works on files, removed at exit.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "util/DeleteTree.h"

namespace voltrane::fuzz {

inline struct TScratch {
  TScratch() { path = mkdtemp(path.data()) ? path + "/" : ""; }
  ~TScratch() { DeleteTree(path); }
  std::string path = std::filesystem::temp_directory_path() / "voltrane-fuzz-XXXXXX";
} scratch;

}  // namespace voltrane::fuzz
