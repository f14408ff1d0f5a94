#include "paths.h"

#include <algorithm>

namespace qelsys {

std::string LinuxPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace qelsys
