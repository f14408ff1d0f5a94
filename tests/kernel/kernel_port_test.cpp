// The ppdev backend on a real kernel: run inside the guest that run.sh boots,
// with QEMU's parallel port at 0x378 and the kernel's parport, parport_pc and
// ppdev drivers loaded (and, in a second run, the printer driver lp). Other
// processes are this program again, started with a role.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <linux/ppdev.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "parport2k.h"

namespace {

constexpr int32_t kData = 0x378;
constexpr int32_t kStatus = 0x379;
constexpr int32_t kControl = 0x37A;
constexpr gid_t kNobody = 65534;
constexpr gid_t kPortGroup = 7;  // the init script gives /dev/parport0 to group lp (7)
constexpr const char* kPrinted = "qel-kernel-test printed this\n";  // run.sh looks for it on the wire

// ---- helper processes ----------------------------------------------------

std::string ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[256];
  ssize_t n = 0;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

void Say(const std::string& line) {
  const std::string text = line + "\n";
  if (write(STDOUT_FILENO, text.data(), text.size()) < 0) std::_Exit(3);
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// A claim, timed: "<result> <milliseconds>".
std::string TimedClaim() {
  const auto start = std::chrono::steady_clock::now();
  const int32_t claimed = ClaimParallelPort(1, -1);
  return std::to_string(claimed) + " " + std::to_string(static_cast<int>(MillisecondsSince(start)));
}

volatile std::sig_atomic_t g_ticks = 0;
void CountTick(int) { g_ticks = g_ticks + 1; }

void SetAction(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// Roles, each a separate process; every step waits for a line from the test.
int RunRole(const std::string& role) {
  GetParallelPortCount();
  if (role == "hold") {  // holds the port until told, then lets it go
    Say("held " + std::to_string(ClaimParallelPort(1, -1)));
    ReadLine(STDIN_FILENO);
    ReleaseParallelPort(1);
    Say("released");
    ReadLine(STDIN_FILENO);
  } else if (role == "try") {  // claims while another holds, then again once it has let go
    Say("first " + TimedClaim());
    ReadLine(STDIN_FILENO);
    Say("second " + TimedClaim());
    ReleaseParallelPort(1);
  } else if (role == "control") {  // uses the port with a control value of its own
    ClaimParallelPort(1, -1);
    OutByte(kControl, 0x0A);
    Say("control " + std::to_string(InByte(kControl)));
    ReleaseParallelPort(1);
  } else if (role == "print") {  // prints through the printer driver between its own claims
    ClaimParallelPort(1, -1);
    ReleaseParallelPort(1);
    const int printer = open("/dev/lp0", O_WRONLY | O_CLOEXEC);
    Say("printed " + std::to_string(write(printer, kPrinted, std::strlen(kPrinted))));
    Say("while open " + TimedClaim());  // the driver keeps the port until its device is closed
    close(printer);
    Say("after close " + std::to_string(ClaimParallelPort(1, -1)));
    ReleaseParallelPort(1);
  } else if (role == "signals-default" || role == "signals-own") {
    // After its first claim, the program sets the real-time signals its own way:
    // all back to the default action, or a handler of its own on the highest one
    // (where the library starts its search).
    const int32_t first = ClaimParallelPort(1, -1);
    ReleaseParallelPort(1);
    Say("first " + std::to_string(first));
    if (role == "signals-default") {
      for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) SetAction(signal, SIG_DFL);
    } else {
      SetAction(SIGRTMAX, CountTick);
    }
    ReadLine(STDIN_FILENO);
    Say("contended " + TimedClaim() + " ticks " + std::to_string(g_ticks));
    ReadLine(STDIN_FILENO);
    Say("free " + std::to_string(ClaimParallelPort(1, -1)));
    ReleaseParallelPort(1);
  } else if (role == "nobody" || role == "nobody-in-lp") {
    const std::vector<gid_t> groups = role == "nobody" ? std::vector<gid_t>{} : std::vector<gid_t>{kPortGroup};
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) return 2;
    const int32_t first = ClaimParallelPort(1, -1);
    ReleaseParallelPort(1);
    const int32_t second = ClaimParallelPort(1, -1);
    ReleaseParallelPort(1);
    Say("claims " + std::to_string(first) + " " + std::to_string(second));
  } else {
    return 2;
  }
  return 0;
}

class Helper {
 public:
  explicit Helper(const char* role) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      execl("/proc/self/exe", "kernel_port_test", "--role", role, static_cast<char*>(nullptr));
      std::_Exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    to_ = in[1];
    from_ = out[0];
    err_ = err[0];
  }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;
  ~Helper() { Finish(); }

  std::string Line() { return ReadLine(from_); }
  void Go() { EXPECT_EQ(write(to_, "\n", 1), 1); }
  // Lets the helper end; what it wrote on standard error, and its exit status.
  std::string Finish() {
    if (pid_ <= 0) return errors_;
    close(to_);
    errors_ = ReadAll(err_);
    close(from_);
    close(err_);
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = status;
    pid_ = -1;
    return errors_;
  }
  int status() const { return status_; }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1, err_ = -1;
  int status_ = -1;
  std::string errors_;
};

// Runs `body` in a child made by fork() without exec, so that the child has this
// process's library state, and gives what it returned. The child ends with
// exit(), which unloads the library as the end of a program does.
std::string InForkedChild(const std::function<std::string()>& body) {
  int out[2];
  if (pipe(out) != 0) std::abort();
  const pid_t child = fork();
  if (child == 0) {
    close(out[0]);
    const std::string said = body();
    if (write(out[1], said.data(), said.size()) < 0) std::_Exit(3);
    std::exit(0);
  }
  close(out[1]);
  const std::string said = ReadAll(out[0]);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  return said;
}

// The library's descriptor of the port, found among this process's open files.
int LibraryDescriptor() {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == "/dev/parport0") {
      return std::stoi(entry.path().filename().string());
    }
  }
  return -1;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// ---- tests ------------------------------------------------------------------

class KernelPort : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(GetParallelPortCount(), 1); }
  void TearDown() override { ReleaseParallelPort(1); }
};

TEST_F(KernelPort, OnePortAtTheIsaBase) {
  ParallelPortInfo info{12, 0, 0};
  ASSERT_EQ(GetParallelPortInfo(1, &info), 1);
  EXPECT_EQ(info.BaseAddress, 0x378u);
  EXPECT_EQ(GetParallelPortInfo(2, &info), 0);
}

TEST_F(KernelPort, PrinterDriverIsThereWhenAsked) {
  std::ifstream devices("/proc/sys/dev/parport/parport0/devices/lp");
  EXPECT_EQ(devices.good(), std::getenv("QEL_EXPECT_LP") != nullptr)
      << "the printer driver registers lp on the port when it is loaded";
}

TEST_F(KernelPort, DataLatchRoundTripsEveryValue) {
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  std::vector<int> wrong;
  for (int value = 0; value < 256; ++value) {
    EXPECT_EQ(OutByte(kData, value), 1);
    if (InByte(kData) != value) wrong.push_back(value);
  }
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " values read back wrong, first " << wrong.front();
  EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_NONE);
}

// The status register is the device's: the same byte the kernel reads on its
// own descriptor, whatever the data latch holds.
TEST_F(KernelPort, StatusReadsWhatTheKernelReads) {
  unsigned char kernel = 0;
  {
    const int fd = open("/dev/parport0", O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ioctl(fd, PPCLAIM), 0);
    ASSERT_EQ(ioctl(fd, PPRSTATUS, &kernel), 0);
    ioctl(fd, PPRELEASE);
    close(fd);
  }
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  for (int data : {0x00, 0xFF}) {
    OutByte(kData, data);
    EXPECT_EQ(InByte(kStatus), kernel) << "data " << data;
  }
  EXPECT_EQ(OutByte(kStatus, 0x00), 1);
  EXPECT_EQ(InByte(kStatus), kernel);
}

TEST_F(KernelPort, ControlValueOutlivesReleaseAndAnotherUser) {
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  OutByte(kControl, 0x05);
  EXPECT_EQ(InByte(kControl), 0x05);
  ASSERT_EQ(ReleaseParallelPort(1), 1);
  {
    Helper other("control");
    EXPECT_EQ(other.Line(), "control 10");
  }
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  EXPECT_EQ(InByte(kControl), 0x05);
}

// Bit 5 turns the data lines to input and back: reversed, the data register no
// longer reads the latch; forward again, it does.
TEST_F(KernelPort, DirectionBitGoesBothWays) {
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  OutByte(kControl, 0x04);
  OutByte(kData, 0x5A);
  ASSERT_EQ(InByte(kData), 0x5A);
  for (int round = 0; round < 2; ++round) {
    OutByte(kControl, 0x24);
    EXPECT_EQ(InByte(kControl), 0x24);
    EXPECT_NE(InByte(kData), 0x5A) << "still driving the latch after bit 5, round " << round;
    OutByte(kControl, 0x04);
    EXPECT_EQ(InByte(kControl), 0x04);
    EXPECT_EQ(InByte(kData), 0x5A) << "not turned back to output, round " << round;
  }
  // Bits 6 and 7 do not exist and bit 4 is the kernel's.
  OutByte(kControl, 0xD3);
  EXPECT_EQ(InByte(kControl), 0x03);
}

// Another process holding the port: refused within a second, told once, and
// served once the holder lets go. Both ways round: this process (whose device
// is open since the earlier tests) and a fresh one.
TEST_F(KernelPort, ClaimWhileAnotherHoldsIsRefusedInTimeThenServed) {
  Helper holder("hold");
  ASSERT_EQ(holder.Line(), "held 1");
  testing::internal::CaptureStderr();
  const std::string refused = TimedClaim();
  const std::string again = TimedClaim();
  const std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(refused.substr(0, 2), "0 ");
  EXPECT_LT(std::stoi(refused.substr(2)), 1000) << refused;
  EXPECT_EQ(again.substr(0, 2), "0 ");
  EXPECT_EQ(Count(told, "/dev/parport0"), 1) << told;
  EXPECT_NE(told.find("busy"), std::string::npos) << told;
  EXPECT_NE(told.find("QEL_BOARD=virtual"), std::string::npos) << told;
  holder.Go();
  EXPECT_EQ(holder.Line(), "released");
  EXPECT_EQ(ClaimParallelPort(1, -1), 1);
  OutByte(kData, 0xC3);
  EXPECT_EQ(InByte(kData), 0xC3);

  Helper other("try");
  const std::string first = other.Line();
  EXPECT_EQ(first.substr(0, 7), "first 0") << first;
  EXPECT_LT(std::stoi(first.substr(8)), 1000) << first;
  ASSERT_EQ(ReleaseParallelPort(1), 1);
  other.Go();
  EXPECT_EQ(other.Line().substr(0, 8), "second 1");
  EXPECT_EQ(Count(other.Finish(), "libparport2k:"), 1);
}

// A refused claim closes the device, and the kernel starts the one opened
// anew from its default control value: the library writes back its own.
TEST_F(KernelPort, ControlValueOutlivesARefusedClaim) {
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  OutByte(kControl, 0x05);
  ASSERT_EQ(ReleaseParallelPort(1), 1);
  Helper holder("hold");
  ASSERT_EQ(holder.Line(), "held 1");
  EXPECT_EQ(ClaimParallelPort(1, -1), 0);
  holder.Go();
  ASSERT_EQ(holder.Line(), "released");
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  EXPECT_EQ(InByte(kControl), 0x05);
}

// A child made by fork() from a thread that has claimed before inherits that
// thread's claim timer, which names no timer in the child: its claim of a port
// another program holds is refused in time all the same, and the holder can
// let go.
TEST_F(KernelPort, ForkedChildsClaimIsRefusedInTimeWhileAnotherHolds) {
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  ASSERT_EQ(ReleaseParallelPort(1), 1);
  Helper holder("hold");
  ASSERT_EQ(holder.Line(), "held 1");
  const std::string refused = InForkedChild(TimedClaim);
  EXPECT_EQ(refused.substr(0, 2), "0 ") << refused;
  EXPECT_LT(std::stoi(refused.substr(2)), 1000) << refused;
  holder.Go();
  EXPECT_EQ(holder.Line(), "released");
}

// The child neither takes over the descriptor that holds the parent's claim nor
// releases it, also not when it ends: the parent keeps its claim, its writes and
// the sole use of the port.
TEST_F(KernelPort, ForkedChildLeavesTheParentsClaimAlone) {
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  ASSERT_EQ(OutByte(kData, 0xA5), 1);
  const std::string child = InForkedChild([] {
    // The parent's port is out of reach until the child claims it itself, also
    // through /dev/port, which this test's root could open.
    const int wrote = OutByte(kData, 0x11);
    const std::string write = "write " + std::to_string(wrote) + " " + std::to_string(ParPortLastError());
    const std::string claim = TimedClaim();
    return claim + " release " + std::to_string(ReleaseParallelPort(1)) + " " + write;
  });
  EXPECT_EQ(child.substr(0, 2), "0 ") << child;
  EXPECT_LT(std::stoi(child.substr(2)), 1000) << child;
  EXPECT_NE(child.find(" release 0"), std::string::npos) << child;
  EXPECT_NE(child.find(" write 0 " + std::to_string(PARPORT_ERROR_DEVICE_IO)), std::string::npos) << child;

  EXPECT_EQ(InByte(kData), 0xA5);
  EXPECT_EQ(OutByte(kData, 0x3C), 1);
  EXPECT_EQ(InByte(kData), 0x3C);
  EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_NONE);
  Helper other("try");
  const std::string first = other.Line();
  EXPECT_EQ(first.substr(0, 7), "first 0") << first;
  ASSERT_EQ(ReleaseParallelPort(1), 1);
  other.Go();
  EXPECT_EQ(other.Line().substr(0, 8), "second 1");
}

// A child that closed the inherited descriptor and has a file of its own under
// that number keeps its file open through the library's first call.
TEST_F(KernelPort, ForkedChildsOwnFileUnderTheInheritedNumberStaysOpen) {
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  ASSERT_EQ(ReleaseParallelPort(1), 1);
  const std::string child = InForkedChild([] {
    const int inherited = LibraryDescriptor();
    int ends[2];
    if (inherited < 0 || pipe(ends) != 0 || dup2(ends[0], inherited) != inherited) return std::string("no set-up");
    const int claimed = ClaimParallelPort(1, -1);
    // Still the pipe, not closed and perhaps reused by the library's own open.
    struct stat status {};
    const bool open = fstat(inherited, &status) == 0 && S_ISFIFO(status.st_mode);
    ReleaseParallelPort(1);
    return "claimed " + std::to_string(claimed) + (open ? " still open" : " closed");
  });
  EXPECT_EQ(child, "claimed 1 still open");
}

// A program that sets the real-time signals its own way after the library took
// one is neither killed by the library's timer nor sent its ticks: a claim while
// another holds the port is refused in time, and served once it is free.
TEST_F(KernelPort, CallerThatSetsTheRealTimeSignalsSurvivesAContendedClaim) {
  for (const char* role : {"signals-default", "signals-own"}) {
    SCOPED_TRACE(role);
    Helper caller(role);
    ASSERT_EQ(caller.Line(), "first 1");
    ASSERT_EQ(ClaimParallelPort(1, -1), 1);
    caller.Go();
    const std::string contended = caller.Line();
    EXPECT_EQ(contended.substr(0, 12), "contended 0 ") << contended;
    if (contended.size() > 12) {
      EXPECT_LT(std::stoi(contended.substr(12)), 1000) << contended;
    }
    EXPECT_NE(contended.find(" ticks 0"), std::string::npos) << contended;
    ASSERT_EQ(ReleaseParallelPort(1), 1);
    caller.Go();
    EXPECT_EQ(caller.Line(), "free 1");
    caller.Finish();
    EXPECT_TRUE(WIFEXITED(caller.status()) && WEXITSTATUS(caller.status()) == 0) << "status " << caller.status();
  }
}

// A register the driver refuses for a reason other than rights (here EINVAL: the
// descriptor's claim was given up behind the library's back) is a device error,
// not "Permission denied".
TEST_F(KernelPort, RegisterTheDriverRefusesIsADeviceError) {
  ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  const int fd = LibraryDescriptor();
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ioctl(fd, PPRELEASE), 0);
  EXPECT_EQ(OutByte(kData, 0x5A), 0);
  EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_DEVICE_IO);
  EXPECT_EQ(InByte(kStatus), 0);
  EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_DEVICE_IO);
}

// The printer driver prints while this library has the port open but not
// claimed, and a claim while the driver holds the port is refused in time.
TEST_F(KernelPort, PrinterDriverPrintsBetweenClaims) {
  if (std::getenv("QEL_EXPECT_LP") == nullptr) GTEST_SKIP() << "the printer driver is not loaded";
  Helper printing("print");
  EXPECT_EQ(printing.Line(), "printed " + std::to_string(std::strlen(kPrinted)));
  const std::string refused = printing.Line();
  EXPECT_EQ(refused.substr(0, 12), "while open 0") << refused;
  EXPECT_LT(std::stoi(refused.substr(13)), 1000) << refused;
  EXPECT_EQ(printing.Line(), "after close 1");
  const std::string told = printing.Finish();
  EXPECT_EQ(Count(told, "libparport2k:"), 1) << told;
  EXPECT_NE(told.find("printer driver"), std::string::npos) << told;
}

TEST_F(KernelPort, UserOutsideThePortsGroupIsToldWhy) {
  Helper outsider("nobody");
  EXPECT_EQ(outsider.Line(), "claims 0 0");
  const std::string told = outsider.Finish();
  EXPECT_EQ(Count(told, "libparport2k:"), 1) << told;
  for (const char* part : {"/dev/parport0", "Permission denied", "group lp", "QEL_BOARD=virtual"}) {
    EXPECT_NE(told.find(part), std::string::npos) << part << " in: " << told;
  }

  Helper member("nobody-in-lp");
  EXPECT_EQ(member.Line(), "claims 1 1");
  EXPECT_EQ(member.Finish(), "");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--role") == 0) return RunRole(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
