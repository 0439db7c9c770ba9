// The program's resources that LoadModuleResource reads: named byte strings registered at
// start-up. This program registers none.
#pragma once

#include <string>
#include <string_view>

namespace voltrane {

// Type and name compare with ASCII letters in any case, as resource names do.
void RegisterModuleResource(std::string_view type, std::string_view name, std::string bytes);
// The bytes of the resource, or nullptr when there is none.
const std::string* FindModuleResource(std::string_view type, std::string_view name);

}  // namespace voltrane
