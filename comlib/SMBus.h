// The PC's own SMBus host controller, reached through the outside library
// QELSMBus: found on the PCI buses when the object is created, then driven one
// byte-data transaction at a time through its I/O registers. Everything it holds
// is its own; the one controller of the PC is held for each transaction, apart
// from the parallel port's bus. Made by the root
// object (comrt::Make<SMBus>()) or by a client through the class factory.
#pragma once
#include <cstdint>

#include "Boolean.h"
#include "ControllerFamily.h"
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
  static quorlink::Boolean IsSupportedController(int32_t identifier);
  void ConfigureController(uint8_t bus, uint8_t device, uint8_t function);
  // Stores the identifier and chooses its family; none for an unsupported one.
  void SetDeviceID(int32_t identifier);

  // The transactions, each through the family's record.
  quorlink::Boolean ProbeDevice(const quorlink::ControllerFamily& family, uint8_t deviceAddress);
  void WriteByte(const quorlink::ControllerFamily& family, uint8_t deviceAddress, uint8_t addressPointer, uint8_t data);
  uint8_t ReadByte(const quorlink::ControllerFamily& family, uint8_t deviceAddress, uint8_t addressPointer);
  void WriteRegisters(quorlink::ControllerFamily::Sequence sequence, int32_t addressByte, uint8_t addressPointer,
                      uint8_t data);
  void WaitForStatus(const quorlink::ControllerFamily& family);
  int32_t Register(int32_t offset) const;

  uint8_t DeviceAddress_ = 0;
  quorlink::Boolean IsWinNT = quorlink::kFalse;
  float FrameDelay_ = 0.0f;
  int32_t SMBusBaseAddress_ = 0;
  int32_t DeviceID_ = 0;
  int32_t WaitDeadline = 0;
  const quorlink::ControllerFamily* family_ = nullptr;  // DeviceID_'s, or none
};
