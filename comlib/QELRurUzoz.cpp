#include "QELRurUzoz.h"

#include "PrinterPort.h"
#include "SMBus.h"
#include "USB.h"

namespace {

// A propget of a child: a new reference to what is held, null when null. The out
// parameter is checked before the reference is taken, so a refused call takes none.
template <class I>
void HandOut(const comrt::ComPtr<I>& held, I** retval) {
  I** out = comrt::Out(retval);
  *out = comrt::ComPtr<I>(held).detach();
}

// A propputref: the object is taken by reference but only read; the new one is
// referenced before the old one is released, so storing the held object again is safe.
template <class I>
void Replace(comrt::ComPtr<I>& held, I** value) {
  held = comrt::ComPtr<I>(*comrt::Out(value));
}

}  // namespace

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
