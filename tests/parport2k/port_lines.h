// The board's wiring for the bit-banger: a set data bit pulls its line low;
// status bit 4 set means SDA low.
#pragma once
#include <cstdint>

#include "bit_banger.h"
#include "parport2k.h"

class PortLines final : public LineDriver {
 public:
  explicit PortLines(std::int32_t base) : base_(base) {}
  void Lines(bool scl, bool sda) override { OutByte(base_, (scl ? 0 : 1) | (sda ? 0 : 2)); }
  bool SdaIsHigh() override { return (InByte(base_ + 1) & 0x10) == 0; }

 private:
  std::int32_t base_;
};
