// A two-wire bus: SCL and SDA are wired-AND lines held high by pull-ups. The
// master drives both lines; devices only ever pull SDA low (no clock stretching).
#pragma once
#include <cstddef>

namespace qelboard {

// Something hanging on the bus. It sees every change of either line, one line at
// a time, and says through pulls_sda_low() whether it holds SDA down.
class BusDevice {
 public:
  virtual void LinesChanged(bool scl, bool sda) = 0;
  bool pulls_sda_low() const { return pulls_sda_low_; }

 protected:
  ~BusDevice() = default;
  bool pulls_sda_low_ = false;
};

class TwoWireBus {
 public:
  static constexpr std::size_t kMaxDevices = 8;

  // The bus does not own the device; it must outlive the bus.
  void Attach(BusDevice& device);

  // The master's outputs: true releases the line, false pulls it low.
  void Drive(bool scl, bool sda);

  bool scl() const { return scl_; }
  bool sda() const { return sda_; }

  // Brings the lines up to date after a device changed its hold on SDA outside
  // an edge (a power-up).
  void Settle();

 private:

  BusDevice* devices_[kMaxDevices] = {};
  std::size_t device_count_ = 0;
  bool master_scl_ = true;
  bool master_sda_ = true;
  bool scl_ = true;
  bool sda_ = true;
};

}  // namespace qelboard
