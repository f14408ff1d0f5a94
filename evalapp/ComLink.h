// The program's link to the communications library: every call goes early-bound,
// by vtable, through the library's root object and the sub-objects fetched from
// it anew for each call. A failing status becomes a comrt::Error carrying the
// library's error number and description.
#pragma once
#include "Link.h"
#include "com/error.h"
#include "com/ptr.h"
#include "quorlink/interfaces.h"

namespace Comms {

// The program's one root object: created on first use, kept until the program ends.
extern comrt::ComPtr<_QELRurUzoz> RurUzoz;

class ComLink final : public Link {
 public:
  void ShortWrite(uint8_t deviceAddress, uint8_t data) override;
  uint8_t ShortRead(uint8_t deviceAddress) override;
  uint8_t PrinterPortsDetected() override;
  void PutPortAddressIndex(uint8_t index) override;
  int16_t PortAddress() override;
  void PutPortAddress(int16_t address) override;
};

// The error a failing status stands for: number HRESULT - 0x800A0000 for the
// library's own errors (the HRESULT itself otherwise), description from the
// thread's error information.
comrt::Error ErrorFromStatus(HRESULT status);

}  // namespace Comms
