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

// A library file name of this process's own, where the probe library appears and
// goes again.
const std::string& CopyPath() {
  static const std::string path =
      (fs::temp_directory_path() / ("qel-binder-" + std::to_string(getpid())) / "libbinder_probe.so").string();
  return path;
}

// The bindings live as long as the process, as the library's own do.
quorlink::OutsideLibrary copy(CopyPath().c_str());
quorlink::OutsideRoutine<int(int)> copyAnswer(copy, "ProbeAnswer", [](auto... args) { return copyAnswer.Bind()(args...); });

constinit quorlink::OutsideLibrary probe(BINDER_PROBE);
constinit quorlink::OutsideRoutine<int(int)> answer(probe, "ProbeAnswer", [](auto... args) { return answer.Bind()(args...); });
constinit quorlink::OutsideRoutine<int(int)> missing(probe, "ProbeMissing", [](auto... args) { return missing.Bind()(args...); });
constinit quorlink::OutsideRoutine<void(int)> setLastError(probe, "ProbeSetLastError",
                                                           [](auto... args) { return setLastError.Bind()(args...); });
constinit quorlink::LastError lastError(probe, "ProbeLastError", [] { return lastError.Bind()(); });
constinit quorlink::LastError noQuery(probe, "ProbeNoErrorQuery", [] { return noQuery.Bind()(); });

TEST(BinderTest, MissingLibraryAtEachCallUntilItAppearsThenBound) {
  const fs::path path = CopyPath();
  fs::create_directories(path.parent_path());
  for (int call = 0; call < 2; ++call) {
    const comrt::Error error = ErrorOf([&] { copyAnswer(1); });
    EXPECT_EQ(error.number(), 53);
    EXPECT_EQ(error.description(), "File not found: " + path.string());
  }
  fs::copy_file(BINDER_PROBE, path);
  EXPECT_EQ(copyAnswer(1), 42);
  fs::remove_all(path.parent_path());
  EXPECT_EQ(copyAnswer(2), 43);  // bound: no new lookup
}

TEST(BinderTest, MissingEntryPointAtEachCallNamesTheRoutine) {
  for (int call = 0; call < 2; ++call) {
    const comrt::Error error = ErrorOf([&] { missing(1); });
    EXPECT_EQ(error.number(), 453);
    EXPECT_EQ(error.description(), std::string("Can't find DLL entry point ProbeMissing in ") + BINDER_PROBE);
  }
  EXPECT_EQ(answer(0), 41);  // the library itself was found
}

TEST(LastErrorTest, TheLibrarysNumberBecomesItsError) {
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
  setLastError(comrt::kPermissionDenied);
  EXPECT_NO_THROW(noQuery.Raise());
  EXPECT_NO_THROW(noQuery.Raise());
  setLastError(0);
}

}  // namespace
