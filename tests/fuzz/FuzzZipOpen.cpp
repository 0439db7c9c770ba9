// The ZIP reader on arbitrary bytes: the end-record search, the central-directory parse
// and the recovery walk; then the reads and changes a caller makes on what opened.
#include <cstdint>
#include <memory>
#include <string>

#include "rt/Exception.h"
#include "zip/ZelZip.h"

using namespace voltrane;

// Changes copy the archive in memory; a few small members are enough to reach every path.
constexpr int kMaxMembersToChange = 8;
constexpr size_t kMaxBytesToChange = 16 * 1024;

// A damaged archive may be refused with an error at any step.
template <class Step>
void Try(Step&& step) try {
  step();
} catch (const Exception&) {
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TZelZip zip;
  Try([&] {
    zip.OpenArchiveStream(
        std::make_unique<TMemoryStream>(std::string(reinterpret_cast<const char*>(data), size)));
    if (zip.IsZipFile()) {
      zip.FileNames();
      zip.Comment();
      for (int i = 0; i < zip.Entries().Count(); ++i) zip.Entries()[i].Offset();
      if (zip.Entries().Count() <= kMaxMembersToChange && size <= kMaxBytesToChange) {
        // The last byte picks the save method, so both the in-place and the rewriting paths
        // see damaged archives.
        if (data[size - 1] & 1) zip.SetSaveMethod(TZipSaveMethod::RebuildAll);
        Try([&] { zip.Entries().RemoveItem(0); });
        Try([&] {
          TMemoryStream content(std::string("added by the fuzzer\r\n"));
          zip.Entries().AddStreamItem("fuzz/added.txt", 0x20, 45000.5, content);
          zip.FileNames();
        });
      }
    }
    zip.CloseArchive();
  });
  return 0;
}
