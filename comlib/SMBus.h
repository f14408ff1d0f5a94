// The PC's own SMBus host controller, reached through the outside library
// QELSMBus: found on the PCI buses when the object is created, then driven one
// byte-data transaction at a time through its I/O registers.
#pragma once
#include <cstdint>

#include "Boolean.h"

class SMBus {
 public:
  // Searches for a controller unless the Windows version rules it out; raises the
  // binder's error when the library is missing.
  SMBus();

  int32_t GetDeviceID() const { return DeviceID_; }
  void SetDeviceID(int32_t value) { DeviceID_ = value; }
  int32_t GetSMBusBaseAddress() const { return SMBusBaseAddress_; }
  void SetSMBusBaseAddress(int32_t value) { SMBusBaseAddress_ = value; }
  float GetFrameDelay() const { return FrameDelay_; }
  void SetFrameDelay(float value);
  uint8_t GetDeviceAddress() const { return DeviceAddress_; }
  void SetDeviceAddress(uint8_t value) { DeviceAddress_ = value; }

  quorlink::Boolean DevicePresent(uint8_t deviceAddress);
  void PortWrite(uint8_t deviceAddress, uint8_t addressPointer, uint8_t data);
  uint8_t PortRead(uint8_t deviceAddress, uint8_t addressPointer);

 private:
  void FindController();
  quorlink::Boolean IsSupportedController(int32_t identifier);
  void ConfigureController(uint8_t bus, uint8_t device, uint8_t function);

  int32_t Register(int32_t offset) const;
  quorlink::Boolean ProbeDevice8086(uint8_t deviceAddress);
  void WriteByte8086(uint8_t deviceAddress, uint8_t addressPointer, uint8_t data);
  uint8_t ReadByte8086(uint8_t deviceAddress, uint8_t addressPointer);
  quorlink::Boolean ProbeDevice10B9(uint8_t deviceAddress);
  void WriteByte10B9(uint8_t deviceAddress, uint8_t addressPointer, uint8_t data);
  uint8_t ReadByte10B9(uint8_t deviceAddress, uint8_t addressPointer);
  void WaitNotBusy8086();
  void WaitIdle10B9();
  void WaitForStatus(bool (*saysWait)(int32_t status));

  uint8_t DeviceAddress_ = 0;
  quorlink::Boolean IsWinNT = quorlink::kFalse;
  float FrameDelay_ = 0.0f;
  int32_t SMBusBaseAddress_ = 0;
  int32_t DeviceID_ = 0;
  int32_t WaitDeadline = 0;
};
