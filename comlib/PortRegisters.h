// The three registers of the selected parallel port as objects: DataPort reaches
// base + 0, StatusPort base + 1, ControlPort base + 2. They hold nothing: every
// access works on the port selected at that moment and moves the byte as it is.
// The data and status registers are reached without a claim while the port is
// locked open; the control register always asks for a claim first, so it does
// nothing while a lock stands without a claim.
#pragma once
#include <cstdint>

#include "BusObject.h"
#include "CommonGlobals.h"
#include "quorlink/interfaces.h"

namespace quorlink {

// One byte to or from the register at the selected base + `offset` (in 16 bits),
// claiming the port around the access in the given form. Without a claim a write
// does nothing and a read gives 0.
void WriteRegister(int16_t offset, Claim claim, uint8_t value);
uint8_t ReadRegister(int16_t offset, Claim claim);

template <class Derived, class Interface, int16_t Offset, Claim Form>
class PortRegister : public BusObject<Derived, Interface> {
 public:
  HRESULT put_Value(BYTE value) override {
    return this->Call([&] { WriteRegister(Offset, Form, value); });
  }
  HRESULT get_Value(BYTE* retval) override {
    return this->Call([&] {
      BYTE* out = comrt::Out(retval);
      *out = ReadRegister(Offset, Form);
    });
  }
};

}  // namespace quorlink

class DataPort final
    : public quorlink::PortRegister<DataPort, _DataPort, CommonGlobals::kDataRegister, quorlink::Claim::UnlessLocked> {
 public:
  static constexpr const CLSID& kClsid = CLSID_DataPort;
  static constexpr const char* kErrorSource = "QELCom.DataPort";
};

class StatusPort final
    : public quorlink::PortRegister<StatusPort, _StatusPort, CommonGlobals::kStatusRegister,
                                    quorlink::Claim::UnlessLocked> {
 public:
  static constexpr const CLSID& kClsid = CLSID_StatusPort;
  static constexpr const char* kErrorSource = "QELCom.StatusPort";
};

class ControlPort final
    : public quorlink::PortRegister<ControlPort, _ControlPort, CommonGlobals::kControlRegister,
                                    quorlink::Claim::First> {
 public:
  static constexpr const CLSID& kClsid = CLSID_ControlPort;
  static constexpr const char* kErrorSource = "QELCom.ControlPort";
};
