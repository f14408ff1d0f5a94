// This machine's parallel ports through the kernel's ppdev driver, and every
// other I/O address through /dev/port.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "backend.h"

namespace parport2k {

class PpdevBackend final : public Backend {
 public:
  PpdevBackend() = default;
  PpdevBackend(const PpdevBackend&) = delete;
  PpdevBackend& operator=(const PpdevBackend&) = delete;
  ~PpdevBackend();

  std::int32_t PortCount() override;
  bool PortBase(std::int32_t number, std::uint32_t& base) override;
  bool Claim(std::int32_t number) override;
  bool Release(std::int32_t number) override;
  bool Out(std::uint16_t address, std::uint8_t value) override;
  bool In(std::uint16_t address, std::uint8_t& value) override;

 private:
  struct Found {
    unsigned index;  // N of parportN
    std::uint32_t base;
  };
  struct Held {
    std::int32_t number;
    std::uint32_t base;
    int fd;
  };

  static std::vector<Found> Scan();
  // The claimed port whose registers hold address, with the register's offset.
  const Held* HeldRegister(std::uint16_t address, unsigned& offset) const;
  int RawPorts();

  std::vector<Held> held_;
  int raw_fd_ = -1;
  std::string raw_path_;
};

}  // namespace parport2k
