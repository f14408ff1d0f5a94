// Paths as the program's Windows-shaped callers write them.
#pragma once
#include <string>

namespace qelsys {

// The path with every '\' turned into '/'.
std::string LinuxPath(std::string path);

}  // namespace qelsys
