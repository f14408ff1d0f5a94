// The virtual board's VCD trace as a program leaves it: read back while the
// program still runs, after it was killed, and when the file cannot be written.
// The program is trace_writer, driven command by command through a pipe.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vcd_wire.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kAddressByte = 0x90;  // the ZQS472, writing

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The trace_writer program on the virtual board, tracing into `trace`.
class Writer {
 public:
  // file_size_limit > 0 caps the size of any file it writes (RLIMIT_FSIZE).
  Writer(const std::string& trace, const fs::path& errors, rlim_t file_size_limit = 0) {
    int to_child[2], from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(to_child[0], STDIN_FILENO);
      dup2(from_child[1], STDOUT_FILENO);
      std::FILE* err = std::fopen(errors.c_str(), "w");
      if (err != nullptr) dup2(fileno(err), STDERR_FILENO);
      close(to_child[1]);
      close(from_child[0]);
      setenv("QEL_BOARD", "virtual", 1);
      setenv("QEL_BOARD_TRACE", trace.c_str(), 1);
      if (file_size_limit > 0) {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        const rlimit limit{file_size_limit, file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      execl(TRACE_WRITER, TRACE_WRITER, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    in_ = fdopen(to_child[1], "w");
    out_ = fdopen(from_child[0], "r");
  }
  ~Writer() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (in_ != nullptr) std::fclose(in_);
    if (out_ != nullptr) std::fclose(out_);
  }
  bool running() const { return pid_ > 0 && in_ != nullptr && out_ != nullptr; }

  // Sends one command and returns the answer ("" when the program did not answer).
  std::string Do(const std::string& command) {
    std::fprintf(in_, "%s\n", command.c_str());
    std::fflush(in_);
    char answer[64];
    if (std::fgets(answer, sizeof answer, out_) == nullptr) return "";
    std::string text(answer);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  // Ends the program with a signal, or with "quit" when signal is 0; the exit status.
  int End(int signal) {
    if (signal == 0) {
      std::fprintf(in_, "quit\n");
      std::fflush(in_);
    } else {
      kill(pid_, signal);
    }
    return Wait();
  }

 private:
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

  pid_t pid_ = -1;
  std::FILE* in_ = nullptr;
  std::FILE* out_ = nullptr;
};

class Trace : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/parport2k_trace_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path trace() const { return dir_ / "bus.vcd"; }
  fs::path errors() const { return dir_ / "stderr.txt"; }

  // Sends the bytes 0 .. count-1 to the chip, each acknowledged.
  static void SendBytes(Writer& writer, int count) {
    for (int i = 0; i < count; ++i) ASSERT_EQ(writer.Do("send " + std::to_string(i)), "ok 1") << i;
  }
  static std::vector<std::vector<std::uint8_t>> Sent(int count) {
    std::vector<std::vector<std::uint8_t>> sent;
    for (int i = 0; i < count; ++i) sent.push_back({kAddressByte, static_cast<std::uint8_t>(i)});
    return sent;
  }
  // The trace holds exactly the bytes 0 .. count-1 sent, each ended by a stop a
  // decoder sees, and nothing after them.
  void ExpectWhole(int count) {
    const qeltest::Wire wire = qeltest::ReadWire(ReadFile(trace()));
    EXPECT_TRUE(wire.header);
    EXPECT_TRUE(wire.ordered);
    EXPECT_TRUE(wire.ends_on_timestamp);
    EXPECT_FALSE(wire.in_transaction);
    EXPECT_EQ(wire.transactions, Sent(count));
  }

  fs::path dir_;
};

TEST_F(Trace, ReadWhileTheProgramRunsHoldsEveryTransactionUpToTheLast) {
  Writer writer(trace(), errors());
  ASSERT_TRUE(writer.running());
  ASSERT_EQ(writer.Do("pause 0"), "ok");
  ExpectWhole(0);
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(writer.Do("send " + std::to_string(i)), "ok 1");
    ExpectWhole(i + 1);
  }
  EXPECT_EQ(writer.End(0), 0);
  ExpectWhole(12);
  EXPECT_EQ(ReadFile(errors()), "");
}

// A transaction left unfinished: what reaches the file while the program runs,
// and what a SIGKILL leaves of it. A step held 100 ms of bus activity and a
// release of the port write it out; a start alone stays held and is lost.
TEST_F(Trace, UnfinishedTransactionAndKill) {
  struct Case {
    const char* name;
    std::vector<std::string> commands;
    bool written;
  };
  const Case cases[] = {
      {"held", {"start"}, false},
      {"a step after 150 ms", {"start", "pause 150", "step"}, true},
      {"release", {"start", "release"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Writer writer(trace(), errors());
    ASSERT_TRUE(writer.running());
    SendBytes(writer, 3);
    for (const std::string& command : c.commands) ASSERT_EQ(writer.Do(command), "ok");
    for (bool killed : {false, true}) {
      SCOPED_TRACE(killed ? "after SIGKILL" : "running");
      if (killed) {
        const int status = writer.End(SIGKILL);
        ASSERT_TRUE(WIFSIGNALED(status));
      }
      const qeltest::Wire wire = qeltest::ReadWire(ReadFile(trace()));
      EXPECT_TRUE(wire.ordered);
      EXPECT_TRUE(wire.ends_on_timestamp);
      std::vector<std::vector<std::uint8_t>> expected = Sent(3);
      if (c.written) expected.push_back({kAddressByte});
      EXPECT_EQ(wire.transactions, expected);
      EXPECT_EQ(wire.in_transaction, c.written);
    }
  }
}

// A trace that cannot be written is told once with its file's name; the
// program goes on. A file cut off by a full disk keeps its whole transactions.
TEST_F(Trace, WriteFailureIsToldOnceAndTheProgramGoesOn) {
  struct Case {
    const char* name;
    std::string path;
    rlim_t limit;
  };
  const Case cases[] = {
      {"full device", "/dev/full", 0},
      {"disk full while tracing", trace().string(), 3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Writer writer(c.path, errors(), c.limit);
    ASSERT_TRUE(writer.running());
    SendBytes(writer, 60);
    EXPECT_EQ(writer.End(0), 0);

    const std::string told = ReadFile(errors());
    EXPECT_NE(told.find(c.path), std::string::npos) << told;
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
    if (c.limit > 0) {
      const qeltest::Wire wire = qeltest::ReadWire(ReadFile(c.path));
      EXPECT_TRUE(wire.ends_on_timestamp);
      EXPECT_FALSE(wire.in_transaction);
      ASSERT_GT(wire.transactions.size(), 0u);
      ASSERT_LT(wire.transactions.size(), 60u);
      EXPECT_EQ(wire.transactions, Sent(static_cast<int>(wire.transactions.size())));
    }
  }
}

}  // namespace
