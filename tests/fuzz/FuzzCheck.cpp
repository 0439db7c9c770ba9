// The check of a GGZ file on arbitrary bytes: whatever the file holds, the check reports and
// ends, without a crash, a leak or unbounded work.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ggz/CheckArchive.h"
#include "rt/Console.h"
#include "rt/Stream.h"
#include "util/DeleteTree.h"

using namespace voltrane;

// A folder for the whole fuzzing run, removed at exit.
static struct TScratch {
  TScratch() { path = mkdtemp(path.data()) ? path + "/" : ""; }
  ~TScratch() { DeleteTree(path); }
  std::string path = std::filesystem::temp_directory_path() / "voltrane-fuzz-XXXXXX";
} scratch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = scratch.path + "check.ggz";
  {
    TFileStream file(path, TFileMode::Create);
    file.WriteBuffer(data, int64_t(size));
  }
  TStringConsole console;
  CheckGgzFile(path, console);
  return 0;
}
