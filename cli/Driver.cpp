#include "cli/Driver.h"
namespace voltrane {
int RunDriver(const std::vector<std::string>&) { return 0; }
}
