// The link to the PC's parallel ports. Creating one decides whether port claims go
// through parport2k (not on Windows 95-family builds), enumerates the ports,
// selects port 1's base and makes the objects that work on the selected port. Its
// properties choose the port by index or base, lock it open between operations
// and set the bus address and line polarity: all of it the library's shared port
// state, so every PrinterPort sees the same selection, lock and polarity. Made by
// the root object (comrt::Make<PrinterPort>()) or by a client through the class
// factory.
#pragma once
#include "BusObject.h"
#include "quorlink/interfaces.h"

class PrinterPort final : public quorlink::BusObject<PrinterPort, _PrinterPort> {
 public:
  static constexpr const CLSID& kClsid = CLSID_PrinterPort;
  static constexpr const char* kErrorSource = "QELCom.PrinterPort";

  // Fails without parport2k (53 or 453) and when the build number cannot be read
  // as a 16-bit number (13 or 6); what was set before the failure stays set.
  PrinterPort();
  // Drops the sub-objects; the port is not released and the lock stays.
  ~PrinterPort() override;

  HRESULT put_LockPortOpen(VARIANT_BOOL value) override;
  HRESULT get_LockPortOpen(VARIANT_BOOL* retval) override;
  HRESULT get_PrinterPortsDetected(BYTE* retval) override;
  HRESULT put_PortAddressIndex(BYTE value) override;
  HRESULT get_PortAddressIndex(BYTE* retval) override;
  HRESULT get_EEPROM(_EEPROM** retval) override;
  HRESULT putref_EEPROM(_EEPROM** value) override;
  HRESULT put_DeviceAddress(BYTE value) override;
  HRESULT get_DeviceAddress(BYTE* retval) override;
  HRESULT put_DataInverted(VARIANT_BOOL value) override;
  HRESULT get_DataInverted(VARIANT_BOOL* retval) override;
  HRESULT put_PortAddress(short value) override;
  HRESULT get_PortAddress(short* retval) override;
  HRESULT get_SMBusProtocall(_SMBusProtocall** retval) override;
  HRESULT putref_SMBusProtocall(_SMBusProtocall** value) override;
  HRESULT get_DataPort(_DataPort** retval) override;
  HRESULT putref_DataPort(_DataPort** value) override;
  HRESULT get_StatusPort(_StatusPort** retval) override;
  HRESULT putref_StatusPort(_StatusPort** value) override;
  HRESULT get_ControlPort(_ControlPort** retval) override;
  HRESULT putref_ControlPort(_ControlPort** value) override;

 private:
  comrt::ComPtr<_DataPort> mDataPort;
  comrt::ComPtr<_StatusPort> mStatusPort;
  comrt::ComPtr<_ControlPort> mControlPort;
  comrt::ComPtr<_EEPROM> mEEPROM;
  comrt::ComPtr<_SMBusProtocall> mSMBusProtocall;
};
