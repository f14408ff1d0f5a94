// The evaluation board cabled to a virtual port 1, and a virtual port 2 with
// nothing attached. The board's drivers invert: a set data bit pulls its line low.
#pragma once
#include <cstdint>

#include "backend.h"
#include "board/serial_eeprom.h"
#include "board/two_wire_bus.h"
#include "board/vcd_trace.h"
#include "board/zqs472.h"

namespace parport2k {

class VirtualBoard final : public Backend {
 public:
  static constexpr std::uint16_t kCabledBase = 0x378;
  static constexpr std::uint16_t kOpenBase = 0x278;
  static constexpr std::uint8_t kEepromAddress = 0x50;

  VirtualBoard();

  std::int32_t PortCount() override { return 2; }
  bool PortBase(std::int32_t number, std::uint32_t& base) override;
  bool Claim(std::int32_t number) override;
  bool Release(std::int32_t number) override;
  std::int32_t Out(std::uint16_t address, std::uint8_t value) override;
  std::int32_t In(std::uint16_t address, std::uint8_t& value) override;

  void Reset();
  qelboard::Zqs472& zqs472() { return zqs472_; }
  qelboard::SerialEeprom& eeprom() { return eeprom_; }
  // Null stops the trace.
  bool TraceTo(const char* path);

 private:
  struct Port {
    std::uint16_t base;
    std::uint8_t data = 0;
    std::uint8_t control = 0;
    bool claimed = false;
  };

  Port* PortByNumber(std::int32_t number);

  Port cabled_{kCabledBase};
  Port open_{kOpenBase};
  qelboard::TwoWireBus bus_;
  qelboard::Zqs472 zqs472_;
  qelboard::SerialEeprom eeprom_;
  qelboard::VcdTrace trace_;
};

// The one board of the process, made at first use.
VirtualBoard& TheVirtualBoard();

}  // namespace parport2k
