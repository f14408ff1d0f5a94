#include "board/two_wire_bus.h"

#include <stdexcept>

namespace qelboard {

void TwoWireBus::Attach(BusDevice& device) {
  if (device_count_ == kMaxDevices) throw std::length_error("two-wire bus: too many devices");
  devices_[device_count_++] = &device;
  Settle();
}

// One master write can move both lines. A line is pulled down by a transistor
// but pulled up by a resistor against the bus capacitance, so falling edges land
// before rising ones; when both lines move the same way, SDA is taken first.
void TwoWireBus::Drive(bool scl, bool sda) {
  if (scl == master_scl_ && sda == master_sda_) return;
  if (!sda && master_sda_) {
    master_sda_ = false;
    Settle();
  }
  if (!scl && master_scl_) {
    master_scl_ = false;
    Settle();
  }
  if (sda && !master_sda_) {
    master_sda_ = true;
    Settle();
  }
  if (scl && !master_scl_) {
    master_scl_ = true;
    Settle();
  }
}

// Devices answer an edge by changing their hold on SDA, which is itself an edge
// the others must see; repeat until nothing moves. Each pass moves one line only,
// since devices change SDA only in reply to an edge.
void TwoWireBus::Settle() {
  for (;;) {
    bool sda = master_sda_;
    for (std::size_t i = 0; i < device_count_; ++i) sda = sda && !devices_[i]->pulls_sda_low();
    if (master_scl_ == scl_ && sda == sda_) return;
    scl_ = master_scl_;
    sda_ = sda;
    for (std::size_t i = 0; i < device_count_; ++i) devices_[i]->LinesChanged(scl_, sda_);
  }
}

}  // namespace qelboard
