// An SMBus object created under a chosen Windows version code, called as a client
// calls it.
#pragma once
#include <memory>

#include "SMBus.h"
#include "version_record.h"

class SMBusObject {
 public:
  explicit SMBusObject(int16_t code) {
    PresentVersion(code);
    object_ = std::make_unique<SMBus>();
  }

  int32_t DeviceID() const { return object_->GetDeviceID(); }
  void SetDeviceID(int32_t value) { object_->SetDeviceID(value); }
  int32_t BaseAddress() const { return object_->GetSMBusBaseAddress(); }
  void SetBaseAddress(int32_t value) { object_->SetSMBusBaseAddress(value); }
  float FrameDelay() const { return object_->GetFrameDelay(); }
  void SetFrameDelay(float value) { object_->SetFrameDelay(value); }

  bool DevicePresent(uint8_t address) { return object_->DevicePresent(address) != 0; }
  void PortWrite(uint8_t address, uint8_t pointer, uint8_t data) { object_->PortWrite(address, pointer, data); }
  uint8_t PortRead(uint8_t address, uint8_t pointer) { return object_->PortRead(address, pointer); }

 private:
  std::unique_ptr<SMBus> object_;
};
