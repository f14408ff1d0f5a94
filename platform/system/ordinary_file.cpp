#include <sys/stat.h>

#include "paths.h"
#include "qel/system.h"

namespace qelsys {

bool IsOrdinaryFile(const std::string& path) {
  const std::string linux_path = LinuxPath(path);
  const size_t slash = linux_path.rfind('/');
  const std::string name = slash == std::string::npos ? linux_path : linux_path.substr(slash + 1);
  if (name.empty() || name.front() == '.') return false;
  struct stat st {};
  return stat(linux_path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace qelsys
