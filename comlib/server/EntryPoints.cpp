// The four entry points of the server file, its only exports.
#include "EEPROM.h"
#include "PortRegisters.h"
#include "PrinterPort.h"
#include "QELRurUzoz.h"
#include "Registration.h"
#include "SMBus.h"
#include "SMBusProtocall.h"
#include "USB.h"
#include "com/factory.h"

#define QELCOM_EXPORT extern "C" __attribute__((visibility("default")))

QELCOM_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return comrt::GetClassObject<QELRurUzoz, DataPort, StatusPort, ControlPort, USB, PrinterPort, SMBusProtocall, SMBus,
                               EEPROM>(rclsid, riid, ppv);
}

QELCOM_EXPORT HRESULT DllCanUnloadNow() { return comrt::CanUnloadNow(); }

QELCOM_EXPORT HRESULT DllRegisterServer() { return quorlink::RegisterServer(); }

QELCOM_EXPORT HRESULT DllUnregisterServer() { return quorlink::UnregisterServer(); }
