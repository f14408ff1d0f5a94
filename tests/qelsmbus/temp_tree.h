// A temporary directory tree standing in for /sys or /dev, removed at the end.
#pragma once
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

class TempTree {
 public:
  TempTree() {
    std::string name = (std::filesystem::temp_directory_path() / "qelsmbus-XXXXXX").string();
    root_ = mkdtemp(name.data());
    // Others may enter: the unprivileged runs below read the tree.
    chmod(root_.c_str(), 0755);
  }
  ~TempTree() { std::filesystem::remove_all(root_); }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    const auto path = std::filesystem::path(Path(relative));
    std::filesystem::create_directories(path.parent_path());
    for (auto dir = path.parent_path(); dir.string().size() > root_.size(); dir = dir.parent_path()) {
      chmod(dir.c_str(), 0755);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

  std::vector<uint8_t> Read(const std::string& relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::string root_;
};

// Runs `body` in a child process as a user without privileges (nobody, when the
// tests run as root) and returns its result, 0 to 255.
inline int RunUnprivileged(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(254);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}
