#include "ppdev_backend.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace parport2k {

namespace {

// Test trees stand in for /dev and /proc; read at each use so that a test can
// point them elsewhere between calls.
std::string Root(const char* variable, const char* fallback) {
  const char* root = std::getenv(variable);
  return root != nullptr && *root != '\0' ? root : fallback;
}
std::string DevRoot() { return Root("QEL_PARPORT_DEV_ROOT", "/dev"); }
std::string ProcRoot() { return Root("QEL_PARPORT_PROC_ROOT", "/proc"); }

// "parport<N>" gives N.
bool PortIndex(const char* name, unsigned& index) {
  if (std::strncmp(name, "parport", 7) != 0 || name[7] == '\0') return false;
  char* end = nullptr;
  const unsigned long n = std::strtoul(name + 7, &end, 10);
  if (*end != '\0' || name[7] < '0' || name[7] > '9' || n > 0xFFFF) return false;
  index = static_cast<unsigned>(n);
  return true;
}

// base-addr holds the base and the extended-register base, in decimal; the first counts.
bool ReadBase(const std::string& path, std::uint32_t& base) {
  std::ifstream file(path);
  unsigned long value = 0;
  if (!(file >> value) || value > 0xFFFF) return false;
  base = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace

PpdevBackend::~PpdevBackend() {
  for (const Held& held : held_) {
    ioctl(held.fd, PPRELEASE);
    close(held.fd);
  }
  if (raw_fd_ >= 0) close(raw_fd_);
}

std::vector<PpdevBackend::Found> PpdevBackend::Scan() {
  std::vector<Found> found;
  const std::string dir_path = ProcRoot() + "/sys/dev/parport";
  DIR* dir = opendir(dir_path.c_str());
  if (dir == nullptr) return found;
  while (const dirent* entry = readdir(dir)) {
    Found port{};
    if (PortIndex(entry->d_name, port.index) &&
        ReadBase(dir_path + "/" + entry->d_name + "/base-addr", port.base)) {
      found.push_back(port);
    }
  }
  closedir(dir);
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.index < b.index; });
  return found;
}

std::int32_t PpdevBackend::PortCount() { return static_cast<std::int32_t>(Scan().size()); }

bool PpdevBackend::PortBase(std::int32_t number, std::uint32_t& base) {
  const std::vector<Found> ports = Scan();
  if (number < 1 || static_cast<std::size_t>(number) > ports.size()) return false;
  base = ports[static_cast<std::size_t>(number) - 1].base;
  return true;
}

// Exclusive use: no other driver or process may drive the port while we hold it.
bool PpdevBackend::Claim(std::int32_t number) {
  for (const Held& held : held_) {
    if (held.number == number) return true;
  }
  const std::vector<Found> ports = Scan();
  if (number < 1 || static_cast<std::size_t>(number) > ports.size()) return false;
  const Found& port = ports[static_cast<std::size_t>(number) - 1];
  const std::string path = DevRoot() + "/parport" + std::to_string(port.index);
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  if (ioctl(fd, PPEXCL) != 0 || ioctl(fd, PPCLAIM) != 0) {
    close(fd);
    return false;
  }
  held_.push_back(Held{number, port.base, fd});
  return true;
}

bool PpdevBackend::Release(std::int32_t number) {
  const auto held = std::find_if(held_.begin(), held_.end(), [&](const Held& h) { return h.number == number; });
  if (held == held_.end()) return false;
  ioctl(held->fd, PPRELEASE);
  close(held->fd);
  held_.erase(held);
  return true;
}

const PpdevBackend::Held* PpdevBackend::HeldRegister(std::uint16_t address, unsigned& offset) const {
  for (const Held& held : held_) {
    offset = static_cast<unsigned>(address) - held.base;
    if (offset < 3) return &held;
  }
  return nullptr;
}

// Reaching /dev/port needs root (or CAP_SYS_RAWIO); without it the access is
// refused, and the open is tried again at the next one.
int PpdevBackend::RawPorts() {
  const std::string path = DevRoot() + "/port";
  if (path != raw_path_) {
    if (raw_fd_ >= 0) close(raw_fd_);
    raw_fd_ = -1;
    raw_path_ = path;
  }
  if (raw_fd_ < 0) raw_fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
  return raw_fd_;
}

bool PpdevBackend::Out(std::uint16_t address, std::uint8_t value) {
  unsigned offset = 0;
  if (const Held* held = HeldRegister(address, offset)) {
    unsigned char byte = value;
    switch (offset) {
      case 0:
        return ioctl(held->fd, PPWDATA, &byte) == 0;
      case 2:
        return ioctl(held->fd, PPWCONTROL, &byte) == 0;
      default:
        return true;  // the status register is driven by the device, not written
    }
  }
  const int fd = RawPorts();
  return fd >= 0 && pwrite(fd, &value, 1, address) == 1;
}

bool PpdevBackend::In(std::uint16_t address, std::uint8_t& value) {
  unsigned offset = 0;
  if (const Held* held = HeldRegister(address, offset)) {
    static constexpr unsigned long kRead[3] = {PPRDATA, PPRSTATUS, PPRCONTROL};
    unsigned char byte = 0;
    if (ioctl(held->fd, kRead[offset], &byte) != 0) return false;
    value = byte;
    return true;
  }
  const int fd = RawPorts();
  return fd >= 0 && pread(fd, &value, 1, address) == 1;
}

}  // namespace parport2k
