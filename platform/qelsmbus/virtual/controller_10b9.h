// A family 10B9 SMBus host controller (identifier 0x710110B9). Its I/O base is the
// upper half of configuration register 0xE0; registers at the base: +0 status,
// +1 protocol, +2 start, +3 address, +4 and +5 data, +7 command.
#pragma once
#include "host_controller.h"

namespace qelsmbus {

class Controller10B9 final : public HostController {
 public:
  Controller10B9(SmbusSegment& segment, uint16_t base);

  uint8_t ReadPort(uint16_t port) override;
  void WritePort(uint16_t port, uint8_t value) override;

 private:
  uint16_t IoBase() const override { return static_cast<uint16_t>(ReadConfig(0xE0) >> 16); }
  void Finish(bool acknowledged, std::optional<uint8_t> readBack) override;

  uint8_t status_ = 0;
  uint8_t registers_[16] = {};
};

}  // namespace qelsmbus
