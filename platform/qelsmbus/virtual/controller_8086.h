// A family 8086 SMBus host controller (identifier 0x71138086). Its I/O base is in
// configuration register 0x90 (bit 0 marks I/O space); registers at the base:
// +0 status, +2 control and start, +3 command, +4 address, +5 and +6 data.
#pragma once
#include "host_controller.h"

namespace qelsmbus {

class Controller8086 final : public HostController {
 public:
  Controller8086(SmbusSegment& segment, uint16_t base);

  uint8_t ReadPort(uint16_t port) override;
  void WritePort(uint16_t port, uint8_t value) override;

 private:
  uint16_t IoBase() const override { return static_cast<uint16_t>(ReadConfig(0x90) & 0xFFF0); }
  void Finish(bool acknowledged, std::optional<uint8_t> readBack) override;

  uint8_t status_ = 0;
  uint8_t registers_[16] = {};
};

}  // namespace qelsmbus
