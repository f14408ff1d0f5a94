// The ZQS472: eight switches set and read as one byte. A send byte sets them,
// a receive byte reads them back; they are all off at power-up.
#pragma once
#include <cstdint>

#include "board/two_wire_target.h"

namespace qelboard {

class Zqs472 final : public TwoWireTarget {
 public:
  static constexpr std::uint8_t kAddress = 0x48;

  explicit Zqs472(std::uint8_t address = kAddress) : TwoWireTarget(address) {}

  std::uint8_t switches() const { return switches_; }
  void set_switches(std::uint8_t value) { switches_ = value; }
  void PowerUp();

 private:
  void OnAddressed(bool) override {}
  // Several bytes in one message: each takes effect in turn, so the last one stands.
  bool OnWrite(std::uint8_t byte) override;
  std::uint8_t OnRead() override { return switches_; }

  std::uint8_t switches_ = 0;
};

}  // namespace qelboard
