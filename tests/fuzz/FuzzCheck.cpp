// The check of a GGZ file on arbitrary bytes: whatever the file holds, the check reports and
// ends, without a crash, a leak or unbounded work.
#include <cstdint>
#include <string>

#include "FuzzScratch.h"
#include "ggz/CheckArchive.h"
#include "rt/Console.h"
#include "rt/Stream.h"

using namespace voltrane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz::scratch.path + "check.ggz";
  {
    TFileStream file(path, TFileMode::Create);
    file.WriteBuffer(data, int64_t(size));
  }
  TStringConsole console;
  CheckGgzFile(path, console);
  return 0;
}
