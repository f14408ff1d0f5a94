// A serial EEPROM of the 24Cxx family: a memory address of one or two bytes (high
// byte first) sets the address counter; data bytes that follow are written at the
// stop that ends the message, rolling over within their page; reads return the
// byte at the counter and advance it, wrapping at the end of the memory. A start
// that cuts a write message short writes nothing. The write cycle is instant.
#pragma once
#include <cstdint>
#include <vector>

#include "board/two_wire_target.h"

namespace qelboard {

struct EepromGeometry {
  std::uint32_t size;           // bytes, a power of two
  std::uint8_t address_bytes;   // 1 or 2
  std::uint32_t page_size;      // bytes, a power of two
};

inline constexpr EepromGeometry k24C02{256, 1, 8};
inline constexpr EepromGeometry k24C32{4096, 2, 32};

class SerialEeprom final : public TwoWireTarget {
 public:
  SerialEeprom(std::uint8_t address, EepromGeometry geometry);

  std::uint32_t size() const { return static_cast<std::uint32_t>(memory_.size()); }
  // Direct access for fixtures; the address wraps like the chip's counter.
  std::uint8_t Peek(std::uint32_t address) const { return memory_[address & mask_]; }
  void Poke(std::uint32_t address, std::uint8_t value) { memory_[address & mask_] = value; }
  void Erase();  // every byte 0xFF, as delivered
  void PowerUp();  // the address counter and the interface start afresh; memory is kept

 private:
  void OnStart() override;
  void OnAddressed(bool read) override;
  bool OnWrite(std::uint8_t byte) override;
  std::uint8_t OnRead() override;
  void OnStop() override;

  const EepromGeometry geometry_;
  const std::uint32_t mask_;
  std::vector<std::uint8_t> memory_;
  std::uint32_t counter_ = 0;
  std::uint8_t address_bytes_seen_ = 0;
  std::uint32_t data_bytes_seen_ = 0;
  std::uint32_t pending_address_ = 0;
  // Data bytes of the open write message, waiting for its stop.
  std::vector<std::uint8_t> page_;
  std::uint32_t page_start_ = 0;
  bool writing_ = false;
};

}  // namespace qelboard
