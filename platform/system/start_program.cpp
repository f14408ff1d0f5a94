#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

#include "paths.h"
#include "qel/system.h"

extern char** environ;

namespace qelsys {

// posix_spawn reports a failed exec as its own result (glibc runs the child
// until exec before returning), so no pipe is needed to learn of it. Waiting
// for one particular process leaves the host's own children, and any SIGCHLD
// handling of its toolkit, alone.
bool StartProgram(const std::string& path, int* error) {
  std::string program = LinuxPath(path);
  char* argv[] = {program.data(), nullptr};
  pid_t pid = 0;
  const int result = program.empty() ? ENOENT : posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
  if (error != nullptr) *error = result;
  if (result != 0) return false;
  std::thread([pid] {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace qelsys
