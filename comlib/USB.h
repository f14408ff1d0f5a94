// The USB link: a placeholder with no state that touches no hardware.
#pragma once
#include "com/object.h"
#include "quorlink/interfaces.h"

class USB final : public comrt::Object<USB, _USB> {
 public:
  static constexpr const CLSID& kClsid = CLSID_USB;
  static constexpr const char* kErrorSource = "QELCom.USB";

  HRESULT OpenUSBPort() override;
  HRESULT CloseUSBPort() override;
};
