// The binder: a missing library or entry point raises its error at each call until
// a lookup succeeds; a routine once found stays bound; a library's error query
// turns its numbers into errors, and a library without one reports none.
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

TEST(LastErrorTest, TheLibrarysNumberBecomesItsError) {
  quorlink::OutsideLibrary library(BINDER_PROBE);
  quorlink::OutsideRoutine<void(int)> setLastError(library, "ProbeSetLastError");
  quorlink::LastError lastError(library, "ProbeLastError");
  struct Case {
    int number;
    int raised;  // 0: nothing raised
    std::string description;
  } cases[] = {
      {0, 0, ""},
      {comrt::kPermissionDenied, comrt::kPermissionDenied, "Permission denied"},
      {5, 5, "Device I/O error"},
      {0, 0, ""},  // an error is the latest call's only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    setLastError(c.number);
    if (c.raised == 0) {
      EXPECT_NO_THROW(lastError.Raise());
    } else {
      const comrt::Error error = ErrorOf([&] { lastError.Raise(); });
      EXPECT_EQ(error.number(), c.raised);
      EXPECT_EQ(error.description(), c.description);
    }
  }
}

TEST(LastErrorTest, ALibraryWithoutTheQueryReportsNoError) {
  quorlink::OutsideLibrary library(BINDER_PROBE);
  quorlink::OutsideRoutine<void(int)> setLastError(library, "ProbeSetLastError");
  quorlink::LastError lastError(library, "ProbeNoErrorQuery");
  setLastError(comrt::kPermissionDenied);
  EXPECT_NO_THROW(lastError.Raise());
  EXPECT_NO_THROW(lastError.Raise());
}

}  // namespace
