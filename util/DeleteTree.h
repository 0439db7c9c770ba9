#pragma once

#include <string>

namespace voltrane {

// Removes the folder and everything in it, depth first. Never fails: what cannot be
// removed stays. A symbolic link inside the tree is removed itself, never followed.
void DeleteTree(const std::string& folder);

}  // namespace voltrane
