#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "qel/system.h"

namespace {

class SystemServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "qelsys.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Make(const std::string& name, const std::string& text, mode_t mode) const {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
    return path;
  }
  static std::string Backslashed(std::string path) {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    return path;
  }

  std::string folder_;
};

TEST_F(SystemServicesTest, OrdinaryFileIsAnExistingRegularFileThatIsNotHidden) {
  const std::string file = Make("MSINFO32.EXE", "x", 0644);
  Make(".hidden", "x", 0644);
  std::filesystem::create_directories(folder_ + "/.config/dir");
  Make(".config/inside", "x", 0644);
  struct Case {
    std::string path;
    bool ordinary;
  };
  const Case cases[] = {
      {file, true},
      {Backslashed(file), true},
      {folder_ + "/.config/inside", true},
      {folder_ + "/.hidden", false},
      {folder_ + "\\.hidden", false},
      {folder_ + "/.config", false},
      {folder_ + "/.config/dir", false},
      {folder_, false},
      {folder_ + "/missing", false},
      {"", false},
      {"/dev/null", false},
  };
  for (const Case& c : cases) EXPECT_EQ(qelsys::IsOrdinaryFile(c.path), c.ordinary) << c.path;
}

TEST_F(SystemServicesTest, ProgramsThatCannotStartAreReported) {
  struct Case {
    std::string path;
    int error;
  };
  const Case cases[] = {
      {folder_ + "/missing", ENOENT},
      {"", ENOENT},
      {Make("not-executable", "#!/bin/sh\n", 0644), EACCES},
      {folder_, EACCES},
      {Make("no-interpreter", "#!/nonexistent/shell\n", 0755), ENOENT},
  };
  for (const Case& c : cases) {
    int error = 0;
    EXPECT_FALSE(qelsys::StartProgram(c.path, &error)) << c.path;
    EXPECT_EQ(error, c.error) << c.path;
  }
}

// The program blocks until the test lets it go, so StartProgram returning at all
// shows it did not wait; after it ends, its process must be gone, not a zombie.
TEST_F(SystemServicesTest, StartedProgramRunsOnItsOwnAndIsReapedWhenItEnds) {
  const std::string fifo = folder_ + "/go";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string program = Make("tool", "#!/bin/sh\necho $$ > '" + folder_ + "/pid.tmp'\nmv '" + folder_ +
                                               "/pid.tmp' '" + folder_ + "/pid'\nread line < '" + fifo + "'\n",
                                   0755);
  int error = -1;
  ASSERT_TRUE(qelsys::StartProgram(Backslashed(program), &error));
  EXPECT_EQ(error, 0);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!std::filesystem::exists(folder_ + "/pid") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  int pid = 0;
  std::ifstream(folder_ + "/pid") >> pid;
  ASSERT_GT(pid, 0);
  const std::string proc = "/proc/" + std::to_string(pid);
  EXPECT_TRUE(std::filesystem::exists(proc)) << "still running, waiting for the test";

  const int fd = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "go\n", 3), 3);
  close(fd);
  while (std::filesystem::exists(proc) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(std::filesystem::exists(proc)) << "the ended program was not reaped";
}

}  // namespace
