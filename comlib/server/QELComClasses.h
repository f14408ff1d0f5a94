// The nine classes of the QELCom type library, in the library's order. Each entry
// names the class; its identifier is CLSID_<name> and its default interface _<name>.
#pragma once

#define QELCOM_CLASSES(C) \
  C(QELRurUzoz)           \
  C(DataPort)             \
  C(StatusPort)           \
  C(ControlPort)          \
  C(USB)                  \
  C(PrinterPort)          \
  C(SMBusProtocall)       \
  C(SMBus)                \
  C(EEPROM)
