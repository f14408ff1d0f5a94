// The nine classes of the QELCom type library, in the library's order: the one
// list behind the class factories, the type library's classes and event
// interfaces, and the registration. An entry C(name) or C(name, events) names the
// class; its identifier is CLSID_<name>, its default interface _<name>, and
// `events`, where given, its event interface, which the class raises its events
// through and the type library marks as its source.
#pragma once

#define QELCOM_CLASSES(C)             \
  C(QELRurUzoz)                       \
  C(DataPort)                         \
  C(StatusPort)                       \
  C(ControlPort)                      \
  C(USB)                              \
  C(PrinterPort)                      \
  C(SMBusProtocall, __SMBusProtocall) \
  C(SMBus)                            \
  C(EEPROM, __EEPROM)
