// The root object a client creates to reach the library. Its constructor builds
// the object tree: one SMBus, one USB and one PrinterPort, in that order; the
// properties hand out and replace the three children.
#pragma once
#include "com/object.h"
#include "quorlink/interfaces.h"

class QELRurUzoz final : public comrt::Object<QELRurUzoz, _QELRurUzoz> {
 public:
  static constexpr const CLSID& kClsid = CLSID_QELRurUzoz;
  static constexpr const char* kErrorSource = "QELCom.QELRurUzoz";

  // A child's failure propagates: the creation fails and the children already
  // made are released with the partly built root.
  QELRurUzoz();
  ~QELRurUzoz() override;

  HRESULT get_PrinterPort(_PrinterPort** retval) override;
  HRESULT putref_PrinterPort(_PrinterPort** value) override;
  HRESULT get_USB(_USB** retval) override;
  HRESULT putref_USB(_USB** value) override;
  HRESULT get_SMBus(_SMBus** retval) override;
  HRESULT putref_SMBus(_SMBus** value) override;
  HRESULT put_PortType(short value) override;
  HRESULT get_PortType(short* retval) override;

 private:
  comrt::ComPtr<_SMBus> mSMBus;
  comrt::ComPtr<_USB> mUSB;
  comrt::ComPtr<_PrinterPort> mPrinterPort;
  short mPortType = 0;
};
