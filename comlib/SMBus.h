// The PC's own SMBus host controller, reached through the outside library
// QELSMBus: found on the PCI buses when the object is created, then driven one
// byte-data transaction at a time through its I/O registers. Everything it holds
// is its own; the one controller of the PC is held for each transaction, apart
// from the parallel port's bus. Made by the root
// object (comrt::Make<SMBus>()) or by a client through the class factory.
#pragma once
#include <cstdint>

#include "Boolean.h"
#include "com/object.h"
#include "quorlink/interfaces.h"

class SMBus final : public comrt::Object<SMBus, _SMBus> {
 public:
  static constexpr const CLSID& kClsid = CLSID_SMBus;
  static constexpr const char* kErrorSource = "QELCom.SMBus";

  // Searches for a controller unless the Windows version rules it out; throws the
  // binder's error when the library is missing, so that creation fails.
  SMBus();

  HRESULT put_DeviceID(LONG value) override;
  HRESULT get_DeviceID(LONG* retval) override;
  HRESULT put_SMBusBaseAddress(LONG value) override;
  HRESULT get_SMBusBaseAddress(LONG* retval) override;
  HRESULT DevicePresent(BYTE DeviceAddress, VARIANT_BOOL* retval) override;
  HRESULT put_FrameDelay(float value) override;
  HRESULT get_FrameDelay(float* retval) override;
  HRESULT PortWrite(BYTE DeviceAddress, BYTE AddressPointer, BYTE Data) override;
  HRESULT PortRead(BYTE DeviceAddress, BYTE AddressPointer, BYTE* retval) override;
  HRESULT put_DeviceAddress(BYTE value) override;
  HRESULT get_DeviceAddress(BYTE* retval) override;

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
  // The family 8086 identifiers, parsed from their texts when the object is made.
  // Most values a search reads differ from all of them in a bit they share, so
  // that test comes first.
  struct Identifiers {
    int32_t rows[7] = {};
    uint32_t sharedMask = 0;  // the bits in which all rows agree
    uint32_t sharedBits = 0;  // their values
    bool Contains(int32_t identifier) const;
  };
  Identifiers Controllers8086_;
};
