#include "ComLink.h"

#include <cstdio>

#include "com/activation.h"
#include "com/boundary.h"
#include "com/variant.h"

namespace Comms {

comrt::ComPtr<_QELRurUzoz> RurUzoz;

// A failing status with the library's error information; a status that comes
// without a description (from activation, say) is named by its code.
comrt::Error ErrorFromStatus(HRESULT status) {
  comrt::Error error = comrt::ErrorFromStatus(status);
  if (!error.description().empty()) return error;
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(status));
  return comrt::Error(error.number(), status == REGDB_E_CLASSNOTREG ? std::string("Class not registered (") + code + ")"
                                                                    : std::string("Automation error (") + code + ")");
}

namespace {

void Check(HRESULT status) {
  if (FAILED(status)) throw ErrorFromStatus(status);
}

// A sub-object property that a client set to null leaves nothing to call.
template <class T>
comrt::ComPtr<T> NotNull(comrt::ComPtr<T> object) {
  if (!object) throw comrt::Error(91, "Object variable or With block variable not set");
  return object;
}

_QELRurUzoz* Root() {
  if (!RurUzoz) {
    comrt::ComPtr<_QELRurUzoz> created;
    Check(CoCreateInstance(CLSID_QELRurUzoz, nullptr, CLSCTX_INPROC_SERVER, IID__QELRurUzoz,
                           reinterpret_cast<void**>(created.put())));
    RurUzoz = NotNull(std::move(created));
  }
  return RurUzoz.get();
}

comrt::ComPtr<_PrinterPort> Port() {
  comrt::ComPtr<_PrinterPort> port;
  Check(Root()->get_PrinterPort(port.put()));
  return NotNull(std::move(port));
}

comrt::ComPtr<_SMBusProtocall> Bus() {
  comrt::ComPtr<_SMBusProtocall> bus;
  Check(Port()->get_SMBusProtocall(bus.put()));
  return NotNull(std::move(bus));
}

}  // namespace

void ComLink::ShortWrite(uint8_t deviceAddress, uint8_t data) { Check(Bus()->ShortWrite(deviceAddress, data)); }

uint8_t ComLink::ShortRead(uint8_t deviceAddress) {
  BYTE data = 0;
  Check(Bus()->ShortRead(deviceAddress, &data));
  return data;
}

uint8_t ComLink::PrinterPortsDetected() {
  BYTE count = 0;
  Check(Port()->get_PrinterPortsDetected(&count));
  return count;
}

void ComLink::PutPortAddressIndex(uint8_t index) { Check(Port()->put_PortAddressIndex(index)); }

int16_t ComLink::PortAddress() {
  short address = 0;
  Check(Port()->get_PortAddress(&address));
  return address;
}

void ComLink::PutPortAddress(int16_t address) { Check(Port()->put_PortAddress(address)); }

}  // namespace Comms
