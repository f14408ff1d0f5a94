// A fixture that points QEL_REGISTRY at a registry file in a fresh temporary
// folder, removed afterwards.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TempRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "qelreg.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    file_ = folder_ + "/registry.reg";
    setenv("QEL_REGISTRY", file_.c_str(), 1);
  }
  void TearDown() override {
    chmod(folder_.c_str(), 0755);
    std::filesystem::remove_all(folder_);
    unsetenv("QEL_REGISTRY");
  }

  void WriteFile(const std::string& text) const { std::ofstream(file_, std::ios::binary) << text; }
  std::string ReadFile() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool FileExists() const { return std::filesystem::exists(file_); }

  std::string folder_;
  std::string file_;
};
