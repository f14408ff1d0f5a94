#include "ppdev_backend.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/ppdev.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "bounded_claim.h"
#include "parport2k.h"
#include "process_generation.h"
#include "qelaccess/root_folder.h"

namespace parport2k {

namespace {

// Read at each use, so that a test can point them elsewhere between calls.
std::string DevRoot() { return qelaccess::RootFromEnvironment("QEL_PARPORT_DEV_ROOT", "/dev"); }
std::string ProcRoot() { return qelaccess::RootFromEnvironment("QEL_PARPORT_PROC_ROOT", "/proc"); }

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

std::string PortDir(unsigned index) {
  return ProcRoot() + "/sys/dev/parport/parport" + std::to_string(index);
}
std::string DevicePath(unsigned index) { return DevRoot() + "/parport" + std::to_string(index); }

// The driver or program that holds the port now ("none" when free); empty when
// the kernel does not say.
std::string ActiveDevice(unsigned index) {
  std::ifstream file(PortDir(index) + "/devices/active");
  std::string name;
  file >> name;
  return name;
}

std::string UserName(uid_t uid) {
  if (const passwd* user = getpwuid(uid)) return user->pw_name;
  return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  if (const group* found = getgrgid(gid)) return found->gr_name;
  return std::to_string(gid);
}

// What keeps the user off the device, from its real owner, group and mode, and
// what would let them in. Joining the group is the remedy only where the group
// is lp with read and write; any other group may reach much more than the port.
std::string AccessRemedy(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return "check the device's owner, group and mode";
  const std::string group = GroupName(status.st_gid);
  const bool group_may = (status.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (group == "lp" && group_may) return "add the user to the group lp and log in again";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
  std::string remedy = "the device has owner " + UserName(status.st_uid) + ", group " + group + " and mode " + mode;
  if (group_may) remedy += ", so members of " + group + " may use it";
  remedy += group == "lp" ? "; giving the group lp read and write (sudo "
                          : "; giving it to the group lp with read and write (sudo chgrp lp " + path + " && sudo ";
  return remedy + "chmod g+rw " + path +
         ", or a udev rule to keep it so) and adding the user to lp, then logging in again, would grant access";
}

// A free port is claimed within microseconds; a busy one is tried again each
// time the kernel names no holder, for at most kPatience in all.
constexpr std::chrono::microseconds kTry{10000};
constexpr std::chrono::microseconds kPause{10000};
constexpr std::chrono::milliseconds kPatience{500};

}  // namespace

PpdevBackend::PpdevBackend() : generation_(ProcessGeneration()) {}

// Only claims this process made are released.
PpdevBackend::~PpdevBackend() {
  OwnProcess();
  for (const Device& device : devices_) {
    if (device.number != 0) ioctl(device.fd, PPRELEASE);
    close(device.fd);
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

// The list is read at each count and kept for the queries and claims after it.
std::int32_t PpdevBackend::PortCount() {
  ports_ = Scan();
  scanned_ = true;
  return static_cast<std::int32_t>(ports_.size());
}

const std::vector<PpdevBackend::Found>& PpdevBackend::Ports() {
  if (!scanned_) PortCount();
  return ports_;
}

bool PpdevBackend::PortBase(std::int32_t number, std::uint32_t& base) {
  const std::vector<Found>& ports = Ports();
  if (number < 1 || static_cast<std::size_t>(number) > ports.size()) return false;
  base = ports[static_cast<std::size_t>(number) - 1].base;
  return true;
}

namespace {

// The device an open descriptor is on, to know it again in a child.
dev_t DeviceOf(int fd) {
  struct stat status {};
  return fd >= 0 && fstat(fd, &status) == 0 ? status.st_rdev : 0;
}

// Whether fd is still open on the character device rdev: a child may have closed
// an inherited descriptor and opened something else under its number.
bool StillOn(int fd, dev_t rdev) {
  struct stat status {};
  return fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && status.st_rdev == rdev;
}

}  // namespace

// A descriptor inherited across fork() carries the parent's claim, which a
// PPRELEASE on it would end: the child neither uses nor releases it. Closing the
// child's copy gives nothing up while the parent keeps its own; the child opens
// a descriptor of its own when it claims, and until then does not reach the
// parent's port through /dev/port either.
void PpdevBackend::OwnProcess() {
  if (generation_ == ProcessGeneration()) [[likely]] return;
  generation_ = ProcessGeneration();
  parent_held_.clear();
  for (const Device& device : devices_) {
    if (StillOn(device.fd, device.rdev)) close(device.fd);
    if (device.number != 0) parent_held_.push_back(device.base);
  }
  devices_.clear();
  control_.clear();
  if (raw_fd_ >= 0 && !StillOn(raw_fd_, raw_rdev_)) raw_fd_ = -1;
}

bool PpdevBackend::ParentHolds(std::uint16_t address) const {
  for (const std::uint32_t base : parent_held_) {
    if (static_cast<unsigned>(address) - base < 3) return true;
  }
  return false;
}

PpdevBackend::Device* PpdevBackend::Opened(unsigned index) {
  for (Device& device : devices_) {
    if (device.index == index) return &device;
  }
  return nullptr;
}

// No PPEXCL: the kernel refuses an exclusive registration while any other
// driver (lp registers on every port) or program has the port open, and one
// granted would keep them all off the port for as long as this process lives.
// A claim alone already gives sole use of the port until its release.
bool PpdevBackend::Open(unsigned index) {
  const int fd = open(DevicePath(index).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  devices_.push_back(Device{index, fd, DeviceOf(fd)});
  return true;
}

void PpdevBackend::Close(unsigned index) {
  const auto device = std::find_if(devices_.begin(), devices_.end(), [&](const Device& d) { return d.index == index; });
  if (device == devices_.end()) return;
  close(device->fd);
  devices_.erase(device);
}

// A refused claim closes the descriptor: the kernel would otherwise hand the
// port to it when the holder lets go, and keep it from everyone else.
int PpdevBackend::ClaimDevice(unsigned index) {
  int error = ClaimWithin(Opened(index)->fd, kTry);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (error == EINTR) {
    Close(index);
    if (std::chrono::steady_clock::now() >= deadline) return EBUSY;
    std::this_thread::sleep_for(kPause);
    const std::string holder = ActiveDevice(index);
    if (!holder.empty() && holder != "none") continue;
    if (!Open(index)) return errno;
    error = ClaimWithin(Opened(index)->fd, kTry);
  }
  if (error != 0) Close(index);
  return error;
}

// Said once per device and reason (errno and, for a busy port, its holder), so
// that a program that keeps trying stays readable and a new reason is heard.
void PpdevBackend::Tell(unsigned index, int error) {
  const std::string path = DevicePath(index);
  const std::string holder = error == EBUSY ? ActiveDevice(index) : std::string();
  if (!told_.emplace(path, error, holder).second) return;
  const std::string reason = error == kNoTimeLimit ? "no real-time signal is free to limit a wait for the port"
                                                   : std::strerror(error);
  std::string remedy;
  if (error == EACCES || error == EPERM) {
    remedy = AccessRemedy(path);
  } else if (error == EBUSY) {
    remedy = "another program or the printer driver (lp) is using the port" +
             (holder.empty() || holder == "none" ? std::string() : " (now " + holder + ")") +
             "; try again when it is done";
  } else if (error == kNoTimeLimit) {
    remedy = "leave one of the signals SIGRTMIN to SIGRTMAX at its default action";
  } else {
    remedy = "check that the ppdev module is loaded and the port exists";
  }
  std::fprintf(stderr, "libparport2k: cannot claim %s: %s; %s, or set QEL_BOARD=virtual to use the virtual board\n",
               path.c_str(), reason.c_str(), remedy.c_str());
}

bool PpdevBackend::Claim(std::int32_t number) {
  OwnProcess();
  const std::vector<Found>& ports = Ports();
  if (number < 1 || static_cast<std::size_t>(number) > ports.size()) return false;
  const Found port = ports[static_cast<std::size_t>(number) - 1];
  for (Device& device : devices_) {
    if (device.number != number) continue;
    if (device.index == port.index) return true;
    // Held under a number the changed list now gives another port.
    ioctl(device.fd, PPRELEASE);
    device.number = 0;
  }
  if (Device* device = Opened(port.index); device != nullptr && device->number != 0) {
    device->number = number;  // held already, under the number it had before the list changed
    return true;
  }
  if (Opened(port.index) == nullptr && !Open(port.index)) {
    Tell(port.index, errno);
    return false;
  }
  if (const int error = ClaimDevice(port.index); error != 0) {
    Tell(port.index, error);
    return false;
  }
  Device* device = Opened(port.index);
  // A descriptor opened anew starts from the kernel's default control value:
  // the one written last goes back before the claim returns.
  if (const auto kept = control_.find(port.index); device->fresh && kept != control_.end()) {
    if (const int error = WriteControl(*device, kept->second); error != 0) {
      ioctl(device->fd, PPRELEASE);
      Close(port.index);
      Tell(port.index, error);
      return false;
    }
  }
  device->fresh = false;
  device->number = number;
  device->base = port.base;
  std::erase(parent_held_, port.base);
  return true;
}

// The descriptor stays open: the kernel saves the port's state at the release
// and restores it at the next claim.
bool PpdevBackend::Release(std::int32_t number) {
  OwnProcess();
  for (Device& device : devices_) {
    if (device.number != number) continue;
    ioctl(device.fd, PPRELEASE);
    device.number = 0;
    return true;
  }
  return false;
}

PpdevBackend::Device* PpdevBackend::HeldRegister(std::uint16_t address, unsigned& offset) {
  OwnProcess();
  for (Device& device : devices_) {
    offset = static_cast<unsigned>(address) - device.base;
    if (device.number != 0 && offset < 3) return &device;
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
  if (raw_fd_ < 0) {
    raw_fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
    raw_rdev_ = DeviceOf(raw_fd_);
  }
  return raw_fd_;
}

// Control: the kernel writes bits 0-3 itself and keeps bit 4 (interrupt enable)
// for its own use; bit 5 turns the data lines around through their own request.
constexpr std::uint8_t kControlLines = 0x0F;
constexpr std::uint8_t kReverse = 0x20;

namespace {

// A refusal for want of rights is permission denied; any other (EINVAL from a
// descriptor that holds no claim, ENODEV from a port gone, EIO) is a device error.
std::int32_t ErrorNumber(int error) {
  return error == EACCES || error == EPERM ? PARPORT_ERROR_PERMISSION_DENIED : PARPORT_ERROR_DEVICE_IO;
}

// A one-byte transfer through /dev/port.
std::int32_t Transferred(ssize_t count) {
  if (count == 1) return PARPORT_ERROR_NONE;
  return count < 0 ? ErrorNumber(errno) : PARPORT_ERROR_DEVICE_IO;
}

}  // namespace

int PpdevBackend::WriteControl(Device& device, std::uint8_t value) {
  unsigned char lines = value & kControlLines;
  int reverse = (value & kReverse) != 0 ? 1 : 0;
  if (ioctl(device.fd, PPWCONTROL, &lines) != 0 || ioctl(device.fd, PPDATADIR, &reverse) != 0) return errno;
  device.reverse = reverse != 0;
  return 0;
}

std::int32_t PpdevBackend::Out(std::uint16_t address, std::uint8_t value) {
  unsigned offset = 0;
  if (Device* held = HeldRegister(address, offset)) {
    switch (offset) {
      case 0: {
        unsigned char byte = value;
        return ioctl(held->fd, PPWDATA, &byte) == 0 ? PARPORT_ERROR_NONE : ErrorNumber(errno);
      }
      case 2:
        if (const int error = WriteControl(*held, value); error != 0) return ErrorNumber(error);
        control_[held->index] = value;
        return PARPORT_ERROR_NONE;
      default:
        return PARPORT_ERROR_NONE;  // the status register is driven by the device, not written
    }
  }
  if (ParentHolds(address)) return PARPORT_ERROR_DEVICE_IO;
  const int fd = RawPorts();
  if (fd < 0) return PARPORT_ERROR_PERMISSION_DENIED;
  return Transferred(pwrite(fd, &value, 1, address));
}

std::int32_t PpdevBackend::In(std::uint16_t address, std::uint8_t& value) {
  unsigned offset = 0;
  if (const Device* held = HeldRegister(address, offset)) {
    static constexpr unsigned long kRead[3] = {PPRDATA, PPRSTATUS, PPRCONTROL};
    unsigned char byte = 0;
    if (ioctl(held->fd, kRead[offset], &byte) != 0) return ErrorNumber(errno);
    value = offset == 2 && held->reverse ? static_cast<std::uint8_t>(byte | kReverse) : byte;
    return PARPORT_ERROR_NONE;
  }
  if (ParentHolds(address)) return PARPORT_ERROR_DEVICE_IO;
  const int fd = RawPorts();
  if (fd < 0) return PARPORT_ERROR_PERMISSION_DENIED;
  return Transferred(pread(fd, &value, 1, address));
}

}  // namespace parport2k
