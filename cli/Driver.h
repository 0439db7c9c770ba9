#pragma once
#include <string>
#include <vector>
namespace voltrane {
int RunDriver(const std::vector<std::string>& arguments);
}
