#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>
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
  // The program runs; a thread reaps it when it ends. Without a thread to spare
  // it is still started, and the child stays unreaped until this process ends.
  try {
    std::thread([pid] {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
  }
  return true;
}

}  // namespace qelsys
