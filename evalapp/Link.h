// What the program asks of the communications library: the two switch transfers
// and the port choice of the options dialog. The program's link makes each call
// early-bound through the library's root object (ComLink.h); the program's tests
// can put a recording link in its place.
#pragma once
#include <cstdint>

namespace Comms {

class Link {
 public:
  virtual ~Link() = default;
  // SMBusProtocall.ShortWrite / ShortRead
  virtual void ShortWrite(uint8_t deviceAddress, uint8_t data) = 0;
  virtual uint8_t ShortRead(uint8_t deviceAddress) = 0;
  // PrinterPort.PrinterPortsDetected, PortAddressIndex (put), PortAddress (get, put)
  virtual uint8_t PrinterPortsDetected() = 0;
  virtual void PutPortAddressIndex(uint8_t index) = 0;
  virtual int16_t PortAddress() = 0;
  virtual void PutPortAddress(int16_t address) = 0;
};

// The link every transfer goes through; the program sets it before Main.
void SetLink(Link* link);
Link& CurrentLink();

}  // namespace Comms
