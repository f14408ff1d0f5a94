// The SMBus segment behind a virtual host controller: the devices on it by 7-bit
// address, reached by whole byte-data transactions as a host controller runs them.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace qelsmbus {

class SmbusDevice {
 public:
  virtual ~SmbusDevice() = default;
  virtual uint8_t ReadByteData(uint8_t command) = 0;
  virtual void WriteByteData(uint8_t command, uint8_t data) = 0;
};

class SmbusSegment {
 public:
  void Attach(uint8_t address, std::unique_ptr<SmbusDevice> device) { devices_.at(address) = std::move(device); }

  // Nothing when no device acknowledges the address.
  std::optional<uint8_t> ReadByteData(uint8_t address, uint8_t command) {
    SmbusDevice* device = At(address);
    if (device == nullptr) return std::nullopt;
    return device->ReadByteData(command);
  }

  // False when no device acknowledges the address.
  bool WriteByteData(uint8_t address, uint8_t command, uint8_t data) {
    SmbusDevice* device = At(address);
    if (device == nullptr) return false;
    device->WriteByteData(command, data);
    return true;
  }

 private:
  SmbusDevice* At(uint8_t address) const { return address < devices_.size() ? devices_[address].get() : nullptr; }

  std::array<std::unique_ptr<SmbusDevice>, 128> devices_;
};

}  // namespace qelsmbus
