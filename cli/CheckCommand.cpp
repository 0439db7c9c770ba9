#include "cli/CheckCommand.h"

#include "cli/Driver.h"
#include "cli/Version.h"
#include "ggz/CheckArchive.h"
#include "rt/Path.h"

namespace voltrane {

std::optional<int> RunCheckCommand(const std::vector<std::string>& arguments, TConsole& console) {
  if (arguments.empty() || arguments[0] != "--check") return std::nullopt;
  if (arguments.size() < 2) {
    console.WriteLine("Usage:");
    console.WriteLine(std::string(VOLTRANE_EXECUTABLE_NAME) + " --check <ggz_file>...");
    return kExitUsage;
  }
  int status = kExitSuccess;
  for (size_t i = 1; i < arguments.size(); ++i) {
    std::string path = ExpandFileName(arguments[i]);
    console.WriteLine("Checking: " + path);
    if (CheckGgzFile(path, console).Problems > 0) status = kExitBuildFailed;
  }
  return status;
}

}  // namespace voltrane
