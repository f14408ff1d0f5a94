#include "ComLink.h"

#include <cstdio>

#include "com/activation.h"
#include "com/variant.h"

namespace Comms {

comrt::ComPtr<_QELRurUzoz> RurUzoz;

comrt::Error ErrorFromStatus(HRESULT status) {
  const auto bits = static_cast<uint32_t>(status);
  const int32_t number = (bits & 0xFFFF0000u) == 0x800A0000u ? static_cast<int32_t>(bits & 0xFFFFu) : status;

  std::string description;
  comrt::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK && info) {
    comrt::Bstr text;
    if (SUCCEEDED(info->GetDescription(text.put()))) description = text.utf8();
  }
  if (description.empty()) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", bits);
    description = status == REGDB_E_CLASSNOTREG ? std::string("Class not registered (") + code + ")"
                                                 : std::string("Automation error (") + code + ")";
  }
  return comrt::Error(number, description);
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
