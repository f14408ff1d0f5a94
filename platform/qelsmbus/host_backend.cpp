// This machine's PCI configuration space through sysfs and its I/O ports through
// /dev/port. Unprivileged users see only the first 64 bytes of a function's
// configuration space and may neither write it nor open /dev/port.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bitset>
#include <cstdio>
#include <string>

#include "backend.h"
#include "qelaccess/root_folder.h"

namespace qelsmbus {
namespace {

// sysfs offers at most 4096 bytes of extended configuration space.
constexpr uint32_t kConfigSpaceSize = 4096;

class HostBackend final : public Backend {
 public:
  HostBackend()
      : devices_(qelaccess::RootFromEnvironment("QEL_SYSFS_ROOT", "/sys") + "/bus/pci/devices"),
        portPath_(qelaccess::RootFromEnvironment("QEL_DEV_ROOT", "/dev") + "/port") {
    ListFunctions();
  }

  ~HostBackend() override {
    if (port_ >= 0) close(port_);
  }

  uint32_t ReadConfig(PciAddress at, uint32_t reg) override {
    uint32_t value = 0xFFFFFFFF;
    if (!Exists(at) || reg >= kConfigSpaceSize) return value;
    const int fd = open(ConfigPath(at).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return value;
    uint8_t bytes[4];
    const ssize_t got = pread(fd, bytes, sizeof bytes, reg);
    close(fd);
    // Bytes the file does not give read as all ones, like a function that is absent.
    for (ssize_t i = 0; i < got; ++i) {
      value &= ~(0xFFu << (8 * i));
      value |= uint32_t{bytes[i]} << (8 * i);
    }
    return value;
  }

  void WriteConfig(PciAddress at, uint32_t reg, uint32_t value) override {
    if (!Exists(at) || reg >= kConfigSpaceSize) return;
    const int fd = open(ConfigPath(at).c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size > reg) {
      const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
      const auto room = static_cast<size_t>(info.st_size - reg);
      // A short or refused write is a write the user may not make: nothing to report.
      [[maybe_unused]] const ssize_t put = pwrite(fd, bytes, room < 4 ? room : 4, reg);
    }
    close(fd);
  }

  int32_t ReadPort(uint16_t port, uint8_t& value) override {
    if (!OpenPorts()) return kPermissionDenied;
    if (pread(port_, &value, 1, port) != 1) value = 0xFF;
    return kNoError;
  }

  int32_t WritePort(uint16_t port, uint8_t value) override {
    if (!OpenPorts()) return kPermissionDenied;
    [[maybe_unused]] const ssize_t put = pwrite(port_, &value, 1, port);
    return kNoError;
  }

 private:
  static size_t Index(PciAddress at) { return (at.bus << 8) | (at.device << 3) | at.function; }

  bool Exists(PciAddress at) const { return present_.test(Index(at)); }

  std::string ConfigPath(PciAddress at) const {
    char name[32];
    std::snprintf(name, sizeof name, "/0000:%02x:%02x.%x/config", at.bus, at.device, at.function);
    return devices_ + name;
  }

  // The functions that exist are listed once, so that probing absent ones costs a
  // bit test rather than a failed open.
  void ListFunctions() {
    DIR* dir = opendir(devices_.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
      unsigned domain = 0, bus = 0, device = 0, function = 0;
      char end = 0;
      if (std::sscanf(entry->d_name, "%x:%x:%x.%x%c", &domain, &bus, &device, &function, &end) != 4) continue;
      const PciAddress at{bus, device, function};
      if (domain == 0 && at.Valid()) present_.set(Index(at));
    }
    closedir(dir);
  }

  // Any failure to open the port device means this user may not reach the ports;
  // the open is tried again at the next access.
  bool OpenPorts() {
    if (port_ < 0) port_ = open(portPath_.c_str(), O_RDWR | O_CLOEXEC);
    return port_ >= 0;
  }

  std::string devices_;
  std::string portPath_;
  std::bitset<256 * 32 * 8> present_;
  int port_ = -1;
};

}  // namespace

std::unique_ptr<Backend> MakeHostBackend() { return std::make_unique<HostBackend>(); }

}  // namespace qelsmbus
