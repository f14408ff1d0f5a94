#include "virtual_board.h"

#include "parport2k.h"

namespace parport2k {

namespace {
// Status bits wired to SDA: set while the line is low.
constexpr std::uint8_t kSdaLowStatus = 0x10 | 0x08 | 0x02;
constexpr std::uint8_t kFloatingBus = 0xFF;
}  // namespace

VirtualBoard::VirtualBoard() : eeprom_(kEepromAddress, qelboard::k24C32) {
  bus_.Attach(zqs472_);
  bus_.Attach(eeprom_);
}

VirtualBoard& TheVirtualBoard() {
  static VirtualBoard board;
  return board;
}

VirtualBoard::Port* VirtualBoard::PortByNumber(std::int32_t number) {
  if (number == 1) return &cabled_;
  if (number == 2) return &open_;
  return nullptr;
}

bool VirtualBoard::PortBase(std::int32_t number, std::uint32_t& base) {
  const Port* port = PortByNumber(number);
  if (port == nullptr) return false;
  base = port->base;
  return true;
}

bool VirtualBoard::Claim(std::int32_t number) {
  Port* port = PortByNumber(number);
  if (port == nullptr) return false;
  port->claimed = true;
  return true;
}

bool VirtualBoard::Release(std::int32_t number) {
  Port* port = PortByNumber(number);
  if (port == nullptr || !port->claimed) return false;
  port->claimed = false;
  // A release ends a transfer, also one that stopped short of a stop condition.
  if (port == &cabled_) trace_.Flush();
  return true;
}

std::int32_t VirtualBoard::Out(std::uint16_t address, std::uint8_t value) {
  const auto cabled = static_cast<std::uint16_t>(address - kCabledBase);
  if (cabled < 3) {
    if (cabled == 0) {
      cabled_.data = value;
      bus_.Drive((value & 0x01) == 0, (value & 0x02) == 0);
    } else if (cabled == 2) {
      cabled_.control = value;
    }
    if (trace_.is_open()) trace_.Step(bus_.scl(), bus_.sda());
    return PARPORT_ERROR_NONE;
  }
  const auto open = static_cast<std::uint16_t>(address - kOpenBase);
  if (open == 0) open_.data = value;
  if (open == 2) open_.control = value;
  return PARPORT_ERROR_NONE;
}

std::int32_t VirtualBoard::In(std::uint16_t address, std::uint8_t& value) {
  const auto cabled = static_cast<std::uint16_t>(address - kCabledBase);
  const auto open = static_cast<std::uint16_t>(address - kOpenBase);
  if (cabled == 0) {
    value = cabled_.data;
  } else if (cabled == 1) {
    value = bus_.sda() ? 0 : kSdaLowStatus;
  } else if (cabled == 2) {
    value = cabled_.control;
  } else if (open == 0) {
    value = open_.data;
  } else if (open == 1) {
    value = 0;  // nothing attached: the lines float high
  } else if (open == 2) {
    value = open_.control;
  } else {
    value = kFloatingBus;
  }
  return PARPORT_ERROR_NONE;
}

void VirtualBoard::Reset() {
  cabled_ = Port{kCabledBase};
  open_ = Port{kOpenBase};
  zqs472_.PowerUp();
  eeprom_.Erase();
  eeprom_.PowerUp();
  bus_.Drive(true, true);
  bus_.Settle();
}

bool VirtualBoard::TraceTo(const char* path) {
  if (path == nullptr) {
    trace_.Close();
    return true;
  }
  return trace_.Open(path, bus_.scl(), bus_.sda());
}

}  // namespace parport2k
