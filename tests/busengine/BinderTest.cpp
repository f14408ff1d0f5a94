// The binder: a missing library or entry point raises its error at each call until
// a lookup succeeds; a routine once found stays bound.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "OutsideLibrary.h"
#include "com/error.h"
#include "error_of.h"

namespace {

namespace fs = std::filesystem;

class BinderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qel-binder-" + std::to_string(getpid()));
    fs::create_directories(folder_);
    path_ = (folder_ / "libbinder_probe.so").string();
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
  std::string path_;
};

TEST_F(BinderTest, MissingLibraryAtEachCallUntilItAppearsThenBound) {
  quorlink::OutsideLibrary library(path_.c_str());
  quorlink::OutsideRoutine<int(int)> answer(library, "ProbeAnswer");
  for (int call = 0; call < 2; ++call) {
    const comrt::Error error = ErrorOf([&] { answer(1); });
    EXPECT_EQ(error.number(), 53);
    EXPECT_EQ(error.description(), "File not found: " + path_);
  }
  fs::copy_file(BINDER_PROBE, path_);
  EXPECT_EQ(answer(1), 42);
  fs::remove(path_);
  EXPECT_EQ(answer(2), 43);  // bound: no new lookup
}

TEST_F(BinderTest, MissingEntryPointAtEachCallNamesTheRoutine) {
  quorlink::OutsideLibrary library(BINDER_PROBE);
  quorlink::OutsideRoutine<int(int)> missing(library, "ProbeMissing");
  quorlink::OutsideRoutine<int(int)> answer(library, "ProbeAnswer");
  for (int call = 0; call < 2; ++call) {
    const comrt::Error error = ErrorOf([&] { missing(1); });
    EXPECT_EQ(error.number(), 453);
    EXPECT_EQ(error.description(), std::string("Can't find DLL entry point ProbeMissing in ") + BINDER_PROBE);
  }
  EXPECT_EQ(answer(0), 41);  // the library itself was found
}

}  // namespace
