// Test trees stand in for /dev, /proc and /sys: an environment variable names
// the folder that replaces the system's own.
#pragma once
#include <cstdlib>
#include <string>

namespace qelaccess {

// The folder `variable` names, or `fallback` when it is unset or empty.
inline std::string RootFromEnvironment(const char* variable, const char* fallback) {
  const char* root = std::getenv(variable);
  return root != nullptr && *root != '\0' ? root : fallback;
}

}  // namespace qelaccess
