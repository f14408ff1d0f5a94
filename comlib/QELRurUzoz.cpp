#include "QELRurUzoz.h"

#include "PrinterPort.h"
#include "SMBus.h"
#include "USB.h"

using comrt::HandOut;
using comrt::Replace;

QELRurUzoz::QELRurUzoz() {
  mSMBus = comrt::Make<SMBus>();
  mUSB = comrt::Make<USB>();
  mPrinterPort = comrt::Make<PrinterPort>();
}

QELRurUzoz::~QELRurUzoz() {
  mUSB.reset();
  mSMBus.reset();
  mPrinterPort.reset();
}

HRESULT QELRurUzoz::get_PrinterPort(_PrinterPort** retval) {
  return Call([&] { HandOut(mPrinterPort, retval); });
}

HRESULT QELRurUzoz::putref_PrinterPort(_PrinterPort** value) {
  return Call([&] { Replace(mPrinterPort, value); });
}

HRESULT QELRurUzoz::get_USB(_USB** retval) {
  return Call([&] { HandOut(mUSB, retval); });
}

HRESULT QELRurUzoz::putref_USB(_USB** value) {
  return Call([&] { Replace(mUSB, value); });
}

HRESULT QELRurUzoz::get_SMBus(_SMBus** retval) {
  return Call([&] { HandOut(mSMBus, retval); });
}

HRESULT QELRurUzoz::putref_SMBus(_SMBus** value) {
  return Call([&] { Replace(mSMBus, value); });
}

HRESULT QELRurUzoz::put_PortType(short value) {
  return Call([&] { mPortType = value; });
}

HRESULT QELRurUzoz::get_PortType(short* retval) {
  return Call([&] { *comrt::Out(retval) = mPortType; });
}
