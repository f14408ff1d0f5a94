// This machine's parallel ports through the kernel's ppdev driver, and every
// other I/O address through /dev/port.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "backend.h"

namespace parport2k {

class PpdevBackend final : public Backend {
 public:
  PpdevBackend();
  PpdevBackend(const PpdevBackend&) = delete;
  PpdevBackend& operator=(const PpdevBackend&) = delete;
  ~PpdevBackend();

  std::int32_t PortCount() override;
  bool PortBase(std::int32_t number, std::uint32_t& base) override;
  bool Claim(std::int32_t number) override;
  bool Release(std::int32_t number) override;
  std::int32_t Out(std::uint16_t address, std::uint8_t value) override;
  std::int32_t In(std::uint16_t address, std::uint8_t& value) override;

 private:
  struct Found {
    unsigned index;  // N of parportN
    std::uint32_t base;
  };
  // An open /dev/parportN, kept open from its first claim on so that the kernel
  // keeps the port's state between claims.
  struct Device {
    unsigned index;
    int fd;
    dev_t rdev;  // what fd was opened on: a child closes only a descriptor still on it
    std::uint32_t base = 0;
    std::int32_t number = 0;  // the caller's number while claimed, else 0
    bool reverse = false;     // data lines turned to input (control bit 5)
    bool fresh = true;        // not claimed since it was opened
  };

  static std::vector<Found> Scan();
  const std::vector<Found>& Ports();
  // Forgets what a parent process left behind, once in each child.
  void OwnProcess();
  // Whether address is a register of a port the parent held at the fork and
  // this process has not claimed since.
  bool ParentHolds(std::uint16_t address) const;
  // The claimed port whose registers hold address, with the register's offset.
  Device* HeldRegister(std::uint16_t address, unsigned& offset);
  Device* Opened(unsigned index);
  bool Open(unsigned index);
  void Close(unsigned index);
  // errno of the claim (or kNoTimeLimit), after waiting a bounded time for a busy port.
  int ClaimDevice(unsigned index);
  // errno of writing control (bits 0-3 and the direction bit 5).
  static int WriteControl(Device& device, std::uint8_t value);
  void Tell(unsigned index, int error);
  int RawPorts();

  std::vector<Found> ports_;
  bool scanned_ = false;
  std::vector<Device> devices_;
  std::map<unsigned, std::uint8_t> control_;  // last control value written, by port index
  // Refusals told: device, errno and, for a busy port, its holder.
  std::set<std::tuple<std::string, int, std::string>> told_;
  std::vector<std::uint32_t> parent_held_;  // bases of the ports the parent held at the fork
  unsigned generation_;
  int raw_fd_ = -1;
  dev_t raw_rdev_ = 0;
  std::string raw_path_;
};

}  // namespace parport2k
