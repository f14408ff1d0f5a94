// A client's own view of the QELCom interfaces it calls, written from their
// member tables: each interface is its members in order after IDispatch's seven,
// and the client reaches them by vtable position. Only the runtime's standard
// interfaces come from the runtime. The names are the type library's, as any
// client of it would write them.
#pragma once
#include "com/interfaces.h"

struct _PrinterPort;
struct _SMBusProtocall;

struct _QELRurUzoz : IDispatch {
  virtual HRESULT get_PrinterPort(_PrinterPort** retval) = 0;
  virtual HRESULT putref_PrinterPort(_PrinterPort** value) = 0;
  virtual HRESULT get_USB(IDispatch** retval) = 0;
  virtual HRESULT putref_USB(IDispatch** value) = 0;
  virtual HRESULT get_SMBus(IDispatch** retval) = 0;
  virtual HRESULT putref_SMBus(IDispatch** value) = 0;
  virtual HRESULT put_PortType(short value) = 0;
  virtual HRESULT get_PortType(short* retval) = 0;
};

struct _PrinterPort : IDispatch {
  virtual HRESULT put_LockPortOpen(VARIANT_BOOL value) = 0;
  virtual HRESULT get_LockPortOpen(VARIANT_BOOL* retval) = 0;
  virtual HRESULT get_PrinterPortsDetected(BYTE* retval) = 0;
  virtual HRESULT put_PortAddressIndex(BYTE value) = 0;
  virtual HRESULT get_PortAddressIndex(BYTE* retval) = 0;
  virtual HRESULT get_EEPROM(IDispatch** retval) = 0;
  virtual HRESULT putref_EEPROM(IDispatch** value) = 0;
  virtual HRESULT put_DeviceAddress(BYTE value) = 0;
  virtual HRESULT get_DeviceAddress(BYTE* retval) = 0;
  virtual HRESULT put_DataInverted(VARIANT_BOOL value) = 0;
  virtual HRESULT get_DataInverted(VARIANT_BOOL* retval) = 0;
  virtual HRESULT put_PortAddress(short value) = 0;
  virtual HRESULT get_PortAddress(short* retval) = 0;
  virtual HRESULT get_SMBusProtocall(_SMBusProtocall** retval) = 0;
  virtual HRESULT putref_SMBusProtocall(_SMBusProtocall** value) = 0;
  virtual HRESULT get_DataPort(IDispatch** retval) = 0;
  virtual HRESULT putref_DataPort(IDispatch** value) = 0;
  virtual HRESULT get_StatusPort(IDispatch** retval) = 0;
  virtual HRESULT putref_StatusPort(IDispatch** value) = 0;
  virtual HRESULT get_ControlPort(IDispatch** retval) = 0;
  virtual HRESULT putref_ControlPort(IDispatch** value) = 0;
};

// The members up to ShortRead, the last one this client calls; the later entries
// of the interface follow them in the vtable.
struct _SMBusProtocall : IDispatch {
  virtual HRESULT get_FinalPEC(short* retval) = 0;
  virtual HRESULT put_FinalPEC(short value) = 0;
  virtual HRESULT put_BlockWriteWaitAck(VARIANT_BOOL value) = 0;
  virtual HRESULT get_BlockWriteWaitAck(VARIANT_BOOL* retval) = 0;
  virtual HRESULT put_ActAsMaster(VARIANT_BOOL value) = 0;
  virtual HRESULT get_ActAsMaster(VARIANT_BOOL* retval) = 0;
  virtual HRESULT put_VideoSoftware(VARIANT_BOOL value) = 0;
  virtual HRESULT get_VideoSoftware(VARIANT_BOOL* retval) = 0;
  virtual HRESULT WriteWord(BYTE DeviceAddress, BYTE AddressPointer, float Value) = 0;
  virtual HRESULT ReadWord(BYTE DeviceAddress, BYTE AddressPointer, float* retval) = 0;
  virtual HRESULT ShortWrite(BYTE DeviceAddress, BYTE Data) = 0;
  virtual HRESULT ShortRead(BYTE DeviceAddress, BYTE* retval) = 0;
};

inline constexpr CLSID CLSID_QELRurUzoz = comrt::ParseGuid("{3B76B453-B626-4D76-8EE7-11414A250AD1}");
inline constexpr IID IID__QELRurUzoz = comrt::ParseGuid("{C822FF04-7C57-42B4-A15E-BABA4B9062DD}");
inline constexpr IID IID__PrinterPort = comrt::ParseGuid("{EB9FE1EA-0341-4296-882C-BBA2390E1F98}");
inline constexpr IID IID__SMBusProtocall = comrt::ParseGuid("{207D27E5-1F98-4C70-B3DD-BCA276D65AF3}");
