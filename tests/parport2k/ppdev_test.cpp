// The ppdev backend on temporary /proc and /dev trees; the machine's own ports
// are never touched.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
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

#include "parport2k.h"

namespace {

namespace fs = std::filesystem;

class Ppdev : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/parport2k_ppdev_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    unsetenv("QEL_BOARD");
    setenv("QEL_PARPORT_PROC_ROOT", (root_ / "proc").c_str(), 1);
    setenv("QEL_PARPORT_DEV_ROOT", (root_ / "dev").c_str(), 1);
    fs::create_directories(root_ / "dev");
  }
  void TearDown() override { fs::remove_all(root_); }

  void AddPort(const std::string& name, const std::string& base_addr) {
    const fs::path dir = root_ / "proc/sys/dev/parport" / name;
    fs::create_directories(dir);
    if (!base_addr.empty()) std::ofstream(dir / "base-addr") << base_addr;
  }
  void AddPortFile(std::size_t size) {
    std::ofstream(root_ / "dev/port", std::ios::binary) << std::string(size, '\0');
  }
  std::uint8_t PortFileByte(std::size_t offset) {
    std::ifstream file(root_ / "dev/port", std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    return static_cast<std::uint8_t>(file.get());
  }

  fs::path root_;
};

std::vector<std::uint32_t> Bases() {
  std::vector<std::uint32_t> bases;
  const int32_t count = GetParallelPortCount();
  for (int32_t n = 1; n <= count; ++n) {
    ParallelPortInfo info{12, 0, 0};
    EXPECT_EQ(GetParallelPortInfo(n, &info), 1) << n;
    bases.push_back(info.BaseAddress);
  }
  return bases;
}

TEST_F(Ppdev, PortsAndBasesComeFromTheProcTreeInOrderOfTheirNumber) {
  AddPort("parport1", "632\t1656\n");
  AddPort("parport0", "888\t1912\n");
  AddPort("default", "");
  AddPort("parportx", "956\t1980\n");
  AddPort("parport2", "");  // no base address: not a usable port
  EXPECT_EQ(Bases(), (std::vector<std::uint32_t>{0x378, 0x278}));

  AddPort("parport10", "956\t1980\n");
  EXPECT_EQ(Bases(), (std::vector<std::uint32_t>{0x378, 0x278, 0x3BC}));

  ParallelPortInfo info{12, 7, 0};
  EXPECT_EQ(GetParallelPortInfo(4, &info), 0);
  EXPECT_EQ(GetParallelPortInfo(0, &info), 0);
  EXPECT_EQ(info.BaseAddress, 7u);
}

TEST_F(Ppdev, NoTreeMeansNoPorts) {
  setenv("QEL_PARPORT_PROC_ROOT", (root_ / "absent").c_str(), 1);
  EXPECT_EQ(GetParallelPortCount(), 0);
  ParallelPortInfo info{12, 7, 0};
  EXPECT_EQ(GetParallelPortInfo(1, &info), 0);
  EXPECT_EQ(info.BaseAddress, 7u);
  EXPECT_EQ(ClaimParallelPort(1, -1), 0);
  EXPECT_EQ(ReleaseParallelPort(1), 0);
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A refused claim is told on standard error once per port, with the device, the
// reason and a way out; the result stays 0.
TEST_F(Ppdev, ClaimFailsCleanlyWhenTheDeviceIsNotPpdevAndSaysSoOncePerPort) {
  AddPort("parport0", "888\t1912\n");
  AddPort("parport5", "632\t1656\n");
  ASSERT_EQ(GetParallelPortCount(), 2);
  std::ofstream(root_ / "dev/parport0") << "not a parallel port";
  testing::internal::CaptureStderr();
  EXPECT_EQ(ClaimParallelPort(1, -1), 0);
  EXPECT_EQ(ClaimParallelPort(1, -1), 0);
  EXPECT_EQ(ClaimParallelPort(2, -1), 0);  // no device node at all
  EXPECT_EQ(ClaimParallelPort(2, -1), 0);
  const std::string told = testing::internal::GetCapturedStderr();
  const std::string first = (root_ / "dev/parport0").string() + ": Inappropriate ioctl for device";
  const std::string second = (root_ / "dev/parport5").string() + ": No such file or directory";
  EXPECT_EQ(Occurrences(told, first), 1) << told;
  EXPECT_EQ(Occurrences(told, second), 1) << told;
  EXPECT_EQ(Occurrences(told, "QEL_BOARD=virtual"), 2) << told;

  EXPECT_EQ(ReleaseParallelPort(1), 0);
  // Unclaimed, the registers are plain I/O addresses, out of reach here.
  EXPECT_EQ(OutByte(0x378, 0x55), 0);
  EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_PERMISSION_DENIED);
}

// A refusal is told once per device and reason: the same one again is not, a
// new one (here the device gone, then back) is.
TEST_F(Ppdev, ARefusalForANewReasonIsToldAgain) {
  AddPort("parport7", "888\t1912\n");
  ASSERT_EQ(GetParallelPortCount(), 1);
  const fs::path device = root_ / "dev/parport7";
  const std::string not_ppdev = device.string() + ": Inappropriate ioctl for device";
  const std::string gone = device.string() + ": No such file or directory";
  struct Step {
    bool present;
    int not_ppdev_told;  // how often each reason has been told after the step
    int gone_told;
  } steps[] = {{true, 1, 0}, {true, 1, 0}, {false, 1, 1}, {false, 1, 1}, {true, 1, 1}};
  std::string told;
  for (const Step& step : steps) {
    if (step.present) {
      std::ofstream(device) << "not a parallel port";
    } else {
      fs::remove(device);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(ClaimParallelPort(1, -1), 0);
    told += testing::internal::GetCapturedStderr();
    EXPECT_EQ(Occurrences(told, not_ppdev), step.not_ppdev_told) << told;
    EXPECT_EQ(Occurrences(told, gone), step.gone_told) << told;
  }
}

// Runs `body` in a child made by fork() and gives what it wrote on standard error.
std::string ToldInChild(const std::function<int()>& body) {
  int err[2];
  if (pipe(err) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    dup2(err[1], STDERR_FILENO);
    close(err[0]);
    close(err[1]);
    _exit(body());
  }
  close(err[1]);
  std::string told;
  char buffer[512];
  ssize_t n = 0;
  while ((n = read(err[0], buffer, sizeof buffer)) > 0) told.append(buffer, static_cast<std::size_t>(n));
  close(err[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status << ", told: " << told;
  return told;
}

// Refused for want of rights, the remedy follows the device's owner, group and
// mode: joining the group is the remedy only where it is lp with read and write.
TEST_F(Ppdev, PermissionRefusalToldAfterTheDevicesOwnerGroupAndMode) {
  const group* lp = getgrnam("lp");
  if (geteuid() != 0 || lp == nullptr) GTEST_SKIP() << "needs root and a group lp, for a device of another user";
  const gid_t lp_gid = lp->gr_gid;
  AddPort("parport0", "888\t1912\n");
  ASSERT_EQ(GetParallelPortCount(), 1);
  ASSERT_EQ(chmod(root_.c_str(), 0755), 0);  // the unprivileged child finds the tree
  const std::string device = (root_ / "dev/parport0").string();
  struct Case {
    const char* what;
    gid_t group;
    mode_t mode;
    std::vector<std::string> told;
    std::vector<std::string> not_told;
  } cases[] = {
      {"group lp with read and write", lp_gid, 0660,
       {"Permission denied", "add the user to the group lp and log in again"}, {"mode"}},
      {"mode 0600", lp_gid, 0600,
       {"owner root, group lp and mode 0600", "(sudo chmod g+rw " + device, "adding the user to lp"},
       {"chgrp", "members of", "add the user to the group"}},
      {"a group other than lp", 0, 0660,
       {"owner root, group root and mode 0660", "members of root may use it",
        "(sudo chgrp lp " + device + " && sudo chmod g+rw " + device, "adding the user to lp"},
       {"add the user to the group"}},
  };
  std::ofstream(device) << "";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(chown(device.c_str(), 0, c.group), 0);
    ASSERT_EQ(chmod(device.c_str(), c.mode), 0);
    const std::string told = ToldInChild([] {
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return 2;
      return ClaimParallelPort(1, -1) == 0 ? 0 : 1;
    });
    EXPECT_EQ(Occurrences(told, "libparport2k: cannot claim " + device + ": Permission denied"), 1) << told;
    for (const std::string& part : c.told) EXPECT_NE(told.find(part), std::string::npos) << part << " in: " << told;
    for (const std::string& part : c.not_told) EXPECT_EQ(told.find(part), std::string::npos) << part << " in: " << told;
  }
}

// With every real-time signal taken by the caller, no timer can limit the
// kernel's wait for a busy port: the claim is refused without being tried.
TEST_F(Ppdev, WithoutAFreeRealTimeSignalTheClaimIsNotTried) {
  AddPort("parport4", "888\t1912\n");
  ASSERT_EQ(GetParallelPortCount(), 1);
  std::ofstream(root_ / "dev/parport4") << "not a parallel port";
  const std::string told = ToldInChild([] {
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) signal(number, SIG_IGN);
    return ClaimParallelPort(1, -1) == 0 ? 0 : 1;
  });
  EXPECT_NE(told.find("parport4: no real-time signal is free"), std::string::npos) << told;
  EXPECT_EQ(told.find("Inappropriate ioctl"), std::string::npos) << told;
}

// Claims and port queries use the list read at the last count, so that a claim
// costs no reading of /proc; a port gone at the next count is not claimed.
TEST_F(Ppdev, TheListFromTheLastCountServesQueriesAndClaims) {
  AddPort("parport3", "956\t1980\n");
  ASSERT_EQ(GetParallelPortCount(), 1);
  fs::remove_all(root_ / "proc");
  ParallelPortInfo info{12, 0, 0};
  EXPECT_EQ(GetParallelPortInfo(1, &info), 1);
  EXPECT_EQ(info.BaseAddress, 0x3BCu);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ClaimParallelPort(1, -1), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find((root_ / "dev/parport3").string()), std::string::npos);

  EXPECT_EQ(GetParallelPortCount(), 0);
  EXPECT_EQ(GetParallelPortInfo(1, &info), 0);
  EXPECT_EQ(ClaimParallelPort(1, -1), 0);
}

TEST_F(Ppdev, OtherAddressesGoThroughDevPortOrArePermissionDenied) {
  EXPECT_EQ(OutByte(0x80, 0x5A), 0);
  EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_PERMISSION_DENIED);
  EXPECT_EQ(InByte(0x80), 0);
  EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_PERMISSION_DENIED);

  AddPortFile(0x10000);
  EXPECT_EQ(OutByte(0x80, 0x15A), 1);  // the low 8 bits of the value
  EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_NONE);
  EXPECT_EQ(PortFileByte(0x80), 0x5A);
  EXPECT_EQ(InByte(0x80), 0x5A);
  // A signed 16-bit address widened with its sign reaches the same port.
  EXPECT_EQ(OutByte(static_cast<int16_t>(0x8008), 0xC3), 1);
  EXPECT_EQ(PortFileByte(0x8008), 0xC3);
  EXPECT_EQ(InByte(0x8008), 0xC3);

  fs::remove(root_ / "dev/port");
  setenv("QEL_PARPORT_DEV_ROOT", (root_ / "elsewhere").c_str(), 1);
  EXPECT_EQ(InByte(0x80), 0);
  EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_PERMISSION_DENIED);
}

}  // namespace
