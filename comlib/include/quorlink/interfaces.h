// The interfaces, classes and library of the QELCom type library, declared once.
// Each list drives the C++ vtable (members in this order, after IUnknown and
// IDispatch), the type information and IDispatch. A member is
//   M(kind, name, dispid, (parameters))
// where kind is PROPGET, PROPPUT, PROPPUTREF or METHOD; a last parameter named
// retval is the member's result, and the single parameter of a setter (value) has
// no name in the type information. Clients include this header to call the
// library early-bound.
#pragma once
#include "com/declare.h"

struct _QELRurUzoz;
struct _DataPort;
struct _StatusPort;
struct _ControlPort;
struct _USB;
struct _PrinterPort;
struct _SMBusProtocall;
struct _SMBus;
struct _EEPROM;

#define QELCOM_MEMBERS__QELRurUzoz(M)                           \
  M(PROPGET, PrinterPort, 0x68030003, (_PrinterPort * *retval)) \
  M(PROPPUTREF, PrinterPort, 0x68030003, (_PrinterPort * *value)) \
  M(PROPGET, USB, 0x68030002, (_USB * *retval))                 \
  M(PROPPUTREF, USB, 0x68030002, (_USB * *value))               \
  M(PROPGET, SMBus, 0x68030001, (_SMBus * *retval))             \
  M(PROPPUTREF, SMBus, 0x68030001, (_SMBus * *value))           \
  M(PROPPUT, PortType, 0x68030000, (short value))               \
  M(PROPGET, PortType, 0x68030000, (short* retval))

#define QELCOM_MEMBERS__RegisterPort(M)            \
  M(PROPPUT, Value, 0x68030000, (BYTE value))      \
  M(PROPGET, Value, 0x68030000, (BYTE * retval))

#define QELCOM_MEMBERS__USB(M)                   \
  M(METHOD, OpenUSBPort, 0x60030000, ())         \
  M(METHOD, CloseUSBPort, 0x60030001, ())

#define QELCOM_MEMBERS__PrinterPort(M)                                  \
  M(PROPPUT, LockPortOpen, 0x6803000a, (VARIANT_BOOL value))            \
  M(PROPGET, LockPortOpen, 0x6803000a, (VARIANT_BOOL * retval))         \
  M(PROPGET, PrinterPortsDetected, 0x68030009, (BYTE * retval))         \
  M(PROPPUT, PortAddressIndex, 0x68030008, (BYTE value))                \
  M(PROPGET, PortAddressIndex, 0x68030008, (BYTE * retval))             \
  M(PROPGET, EEPROM, 0x68030007, (_EEPROM * *retval))                   \
  M(PROPPUTREF, EEPROM, 0x68030007, (_EEPROM * *value))                 \
  M(PROPPUT, DeviceAddress, 0x68030006, (BYTE value))                   \
  M(PROPGET, DeviceAddress, 0x68030006, (BYTE * retval))                \
  M(PROPPUT, DataInverted, 0x68030005, (VARIANT_BOOL value))            \
  M(PROPGET, DataInverted, 0x68030005, (VARIANT_BOOL * retval))         \
  M(PROPPUT, PortAddress, 0x68030004, (short value))                    \
  M(PROPGET, PortAddress, 0x68030004, (short* retval))                  \
  M(PROPGET, SMBusProtocall, 0x68030003, (_SMBusProtocall * *retval))   \
  M(PROPPUTREF, SMBusProtocall, 0x68030003, (_SMBusProtocall * *value)) \
  M(PROPGET, DataPort, 0x68030002, (_DataPort * *retval))               \
  M(PROPPUTREF, DataPort, 0x68030002, (_DataPort * *value))             \
  M(PROPGET, StatusPort, 0x68030001, (_StatusPort * *retval))           \
  M(PROPPUTREF, StatusPort, 0x68030001, (_StatusPort * *value))         \
  M(PROPGET, ControlPort, 0x68030000, (_ControlPort * *retval))         \
  M(PROPPUTREF, ControlPort, 0x68030000, (_ControlPort * *value))

#define QELCOM_MEMBERS__SMBusProtocall(M)                                                           \
  M(PROPGET, FinalPEC, 0x40030007, (short* retval))                                                 \
  M(PROPPUT, FinalPEC, 0x40030007, (short value))                                                   \
  M(PROPPUT, BlockWriteWaitAck, 0x68030011, (VARIANT_BOOL value))                                   \
  M(PROPGET, BlockWriteWaitAck, 0x68030011, (VARIANT_BOOL * retval))                                \
  M(PROPPUT, ActAsMaster, 0x68030010, (VARIANT_BOOL value))                                         \
  M(PROPGET, ActAsMaster, 0x68030010, (VARIANT_BOOL * retval))                                      \
  M(PROPPUT, VideoSoftware, 0x6803000f, (VARIANT_BOOL value))                                       \
  M(PROPGET, VideoSoftware, 0x6803000f, (VARIANT_BOOL * retval))                                    \
  M(METHOD, WriteWord, 0x60030012, (BYTE DeviceAddress, BYTE AddressPointer, float Value))          \
  M(METHOD, ReadWord, 0x60030013, (BYTE DeviceAddress, BYTE AddressPointer, float* retval))         \
  M(METHOD, ShortWrite, 0x60030014, (BYTE DeviceAddress, BYTE Data))                                \
  M(METHOD, ShortRead, 0x60030015, (BYTE DeviceAddress, BYTE * retval))                             \
  M(METHOD, WaitAck, 0x60030016, (BYTE Timeout, VARIANT_BOOL * retval))                             \
  M(PROPPUT, RelativeDelayOn, 0x6803000e, (VARIANT_BOOL value))                                     \
  M(PROPGET, RelativeDelayOn, 0x6803000e, (VARIANT_BOOL * retval))                                  \
  M(PROPPUT, FrameDelay, 0x6803000d, (float value))                                                 \
  M(PROPGET, FrameDelay, 0x6803000d, (float* retval))                                               \
  M(PROPPUT, Delay, 0x6803000c, (float value))                                                      \
  M(PROPGET, Delay, 0x6803000c, (float* retval))                                                    \
  M(PROPPUT, RepeatedStart, 0x6803000b, (VARIANT_BOOL value))                                       \
  M(PROPGET, RepeatedStart, 0x6803000b, (VARIANT_BOOL * retval))                                    \
  M(METHOD, Portout, 0x60030017, (short CurrentPortAddress, BYTE Value))                            \
  M(METHOD, Portin, 0x60030018, (short CurrentPortAddress, BYTE* retval))                           \
  M(PROPPUT, AddressPointer, 0x6803000a, (BYTE value))                                              \
  M(PROPGET, AddressPointer, 0x6803000a, (BYTE * retval))                                           \
  M(PROPPUT, BitsToStayHigh, 0x68030009, (BYTE value))                                              \
  M(PROPGET, BitsToStayHigh, 0x68030009, (BYTE * retval))                                           \
  M(PROPPUT, ThereWasNoAck, 0x68030008, (VARIANT_BOOL value))                                       \
  M(PROPGET, ThereWasNoAck, 0x68030008, (VARIANT_BOOL * retval))                                    \
  M(PROPPUT, PortAddress, 0x68030007, (short value))                                                \
  M(PROPGET, PortAddress, 0x68030007, (short* retval))                                              \
  M(PROPPUT, DeviceAddress, 0x68030006, (BYTE value))                                               \
  M(PROPGET, DeviceAddress, 0x68030006, (BYTE * retval))                                            \
  M(PROPPUT, DataInverted, 0x68030005, (VARIANT_BOOL value))                                        \
  M(PROPGET, DataInverted, 0x68030005, (VARIANT_BOOL * retval))                                     \
  M(PROPPUT, CheckForAck, 0x68030004, (VARIANT_BOOL value))                                         \
  M(PROPGET, CheckForAck, 0x68030004, (VARIANT_BOOL * retval))                                      \
  M(PROPPUT, OrBits, 0x68030003, (BYTE value))                                                      \
  M(PROPGET, OrBits, 0x68030003, (BYTE * retval))                                                   \
  M(METHOD, Ack, 0x60030019, ())                                                                    \
  M(METHOD, PortRead, 0x6003001a, (BYTE DeviceAddress, BYTE AddressPointer, BYTE* retval))          \
  M(METHOD, NAck, 0x6003001b, ())                                                                   \
  M(METHOD, MAck, 0x6003001c, ())                                                                   \
  M(METHOD, PortWrite, 0x6003001d, (BYTE DeviceAddress, BYTE AddressPointer, BYTE Data))            \
  M(METHOD, PreStart, 0x6003001e, ())                                                               \
  M(METHOD, ReadData, 0x60030021, (float* retval))                                                  \
  M(METHOD, StartBit, 0x60030022, ())                                                               \
  M(METHOD, StopBit, 0x60030023, ())                                                                \
  M(METHOD, WriteData, 0x60030024, (float* Data))                                                   \
  M(METHOD, Detect, 0x60030025, (short port, short* retval))                                        \
  M(PROPPUT, TotalSpeed, 0x68030002, (short value))                                                 \
  M(PROPGET, TotalSpeed, 0x68030002, (short* retval))                                               \
  M(METHOD, BlockRead, 0x60030027, (BYTE HighByte, BYTE LowByte, VARIANT* retval))                  \
  M(METHOD, BlockWrite, 0x60030029, (BYTE ByteCount, VARIANT Data))                                 \
  M(PROPPUT, PECOK, 0x68030001, (VARIANT_BOOL value))                                               \
  M(PROPGET, PECOK, 0x68030001, (VARIANT_BOOL * retval))                                            \
  M(METHOD, GetBlockReadData, 0x6003002c, (VARIANT * retval))                                       \
  M(PROPPUT, UsePEC, 0x68030000, (VARIANT_BOOL value))                                              \
  M(PROPGET, UsePEC, 0x68030000, (VARIANT_BOOL * retval))                                           \
  M(METHOD, GetPECData, 0x6003002d, (VARIANT * retval))

#define QELCOM_MEMBERS__SMBus(M)                                                          \
  M(PROPPUT, DeviceID, 0x68030003, (LONG value))                                          \
  M(PROPGET, DeviceID, 0x68030003, (LONG * retval))                                       \
  M(PROPPUT, SMBusBaseAddress, 0x68030002, (LONG value))                                  \
  M(PROPGET, SMBusBaseAddress, 0x68030002, (LONG * retval))                               \
  M(METHOD, DevicePresent, 0x60030007, (BYTE DeviceAddress, VARIANT_BOOL * retval))       \
  M(PROPPUT, FrameDelay, 0x68030001, (float value))                                       \
  M(PROPGET, FrameDelay, 0x68030001, (float* retval))                                     \
  M(METHOD, PortWrite, 0x60030010, (BYTE DeviceAddress, BYTE AddressPointer, BYTE Data))  \
  M(METHOD, PortRead, 0x60030011, (BYTE DeviceAddress, BYTE AddressPointer, BYTE* retval)) \
  M(PROPPUT, DeviceAddress, 0x68030000, (BYTE value))                                     \
  M(PROPGET, DeviceAddress, 0x68030000, (BYTE * retval))

#define QELCOM_MEMBERS__EEPROM(M)                                                                  \
  M(PROPPUT, FrameDelay, 0x68030003, (float value))                                                \
  M(PROPGET, FrameDelay, 0x68030003, (float* retval))                                              \
  M(PROPPUT, Delay, 0x68030002, (short value))                                                     \
  M(PROPGET, Delay, 0x68030002, (short* retval))                                                   \
  M(PROPPUT, RelativeDelayOn, 0x68030001, (VARIANT_BOOL value))                                    \
  M(PROPGET, RelativeDelayOn, 0x68030001, (VARIANT_BOOL * retval))                                 \
  M(METHOD, SetAddress, 0x60030004, (BYTE HighByte, BYTE LowByte))                                 \
  M(METHOD, ReadByte, 0x60030005, (BYTE HighByte, BYTE LowByte, BYTE* retval))                     \
  M(METHOD, WriteByte, 0x60030006, (BYTE HighByte, BYTE LowByte, BYTE Data))                       \
  M(METHOD, PageErase, 0x60030007, (BYTE CommandByte, BYTE HighByte, BYTE LowByte, VARIANT_BOOL * retval)) \
  M(PROPPUT, DeviceAddress, 0x68030000, (BYTE value))                                              \
  M(PROPGET, DeviceAddress, 0x68030000, (BYTE * retval))                                           \
  M(METHOD, SetEEPROMAddress, 0x60030008, (BYTE HighByte, BYTE LowByte))

#define QELCOM_EVENTS___SMBusProtocall(M)                                           \
  M(METHOD, SMBusProtocallError, 1, (short ErrorNumber, BSTR ErrorDescription))     \
  M(METHOD, TransactionInterrupted, 2, ())

#define QELCOM_EVENTS___EEPROM(M) \
  M(METHOD, EEPROMError, 1, (short ErrorNumber, BSTR ErrorDescription))

COM_DUAL_INTERFACE(_QELRurUzoz, "{C822FF04-7C57-42B4-A15E-BABA4B9062DD}", QELCOM_MEMBERS__QELRurUzoz)
COM_DUAL_INTERFACE(_DataPort, "{7B9343FC-5FF5-4B0B-B125-07D3E91B3B9B}", QELCOM_MEMBERS__RegisterPort)
COM_DUAL_INTERFACE(_StatusPort, "{F87E2DE9-72DF-4DEE-9262-D3432FFBB073}", QELCOM_MEMBERS__RegisterPort)
COM_DUAL_INTERFACE(_ControlPort, "{2049F2E9-A2F0-4344-893E-A4DD04919A59}", QELCOM_MEMBERS__RegisterPort)
COM_DUAL_INTERFACE(_USB, "{C5D1E117-5449-4CE0-A1C4-F15111F2CC25}", QELCOM_MEMBERS__USB)
COM_DUAL_INTERFACE(_PrinterPort, "{EB9FE1EA-0341-4296-882C-BBA2390E1F98}", QELCOM_MEMBERS__PrinterPort)
COM_DUAL_INTERFACE(_SMBusProtocall, "{207D27E5-1F98-4C70-B3DD-BCA276D65AF3}", QELCOM_MEMBERS__SMBusProtocall)
COM_DUAL_INTERFACE(_SMBus, "{9A3990DD-005C-4113-9B5D-722E1841F6F3}", QELCOM_MEMBERS__SMBus)
COM_DUAL_INTERFACE(_EEPROM, "{61E20146-C5CD-4551-A9FE-F775863C1843}", QELCOM_MEMBERS__EEPROM)
COM_DISPINTERFACE(__SMBusProtocall, "{9B92E27D-77B7-4A96-A3D6-CE694A02EF48}", QELCOM_EVENTS___SMBusProtocall)
COM_DISPINTERFACE(__EEPROM, "{8A90CCB6-0C46-47CF-B219-3D42E8F7816D}", QELCOM_EVENTS___EEPROM)

COM_CLASS_ID(QELRurUzoz, "{3B76B453-B626-4D76-8EE7-11414A250AD1}")
COM_CLASS_ID(DataPort, "{80470359-9076-431E-9F39-2CAC76CB6731}")
COM_CLASS_ID(StatusPort, "{E5622DC2-5A0E-4E2E-86BE-ABA429D9965B}")
COM_CLASS_ID(ControlPort, "{7CDDD38E-135C-4260-A201-A346945ED4A5}")
COM_CLASS_ID(USB, "{DBDDE185-6653-4EEB-83D7-22CC0B2D6144}")
COM_CLASS_ID(PrinterPort, "{4499A2CF-1855-4A40-9702-C952A4CA8080}")
COM_CLASS_ID(SMBusProtocall, "{2213E903-8F39-482F-A02E-281ED19F1745}")
COM_CLASS_ID(SMBus, "{EA17C23D-5CC5-45B3-B047-319FF905CF48}")
COM_CLASS_ID(EEPROM, "{A1C26788-C49A-44C1-B6DE-7D5B8CB825BD}")

// {57A57BF4-4E19-47D6-9C74-93E78C953273}, version 1.0
inline constexpr GUID LIBID_QELCom = comrt::ParseGuid("{57A57BF4-4E19-47D6-9C74-93E78C953273}");
