// Runs a shell command and gives its exit code and what it printed.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandOutput {
  int exit_code;  // -1 when it did not exit by itself
  std::string output;
};

inline CommandOutput RunCommand(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, {}};
  std::string output;
  char buffer[512];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}
