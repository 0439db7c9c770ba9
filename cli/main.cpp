#include <string>
#include <vector>

#include "cli/Driver.h"

int main(int argc, char** argv) {
  return voltrane::RunDriver(std::vector<std::string>(argv + 1, argv + argc));
}
