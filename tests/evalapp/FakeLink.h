// A stand-in for the library as the program sees it: the port selection rules of
// the printer-port object, a ZQS472 on the first port, and a log of every call.
// Without a port nothing can be claimed: writes do nothing and reads give 0.
#pragma once
#include <QStringList>
#include <optional>
#include <vector>

#include "Link.h"
#include "com/error.h"

class FakeLink : public Comms::Link {
 public:
  std::vector<int16_t> ports{0x378};  // base addresses, port number 1 first
  uint8_t chip = 0;                   // the ZQS472's switch byte, on port 1 at 0x90
  std::optional<uint8_t> answer;      // a chip that answers this byte whatever it was sent
  std::optional<comrt::Error> fail;   // the next call fails with this error
  QStringList calls;

  uint8_t index = 0;
  int16_t address = 0;

  FakeLink() { address = ports.empty() ? 0 : ports[0]; }
  void SetPorts(std::vector<int16_t> bases) {
    ports = std::move(bases);
    index = 0;
    address = ports.empty() ? 0 : ports[0];
  }

  QStringList Reads() const { return calls.filter(QStringLiteral("read ")); }
  QStringList Writes() const { return calls.filter(QStringLiteral("write ")); }

  void ShortWrite(uint8_t deviceAddress, uint8_t data) override {
    Enter(QStringLiteral("write %1 %2").arg(Hex(deviceAddress), Hex(data)));
    if (OnChip(deviceAddress)) chip = data;
  }
  uint8_t ShortRead(uint8_t deviceAddress) override {
    Enter(QStringLiteral("read %1").arg(Hex(deviceAddress)));
    if (ports.empty()) return 0;
    if (!OnChip(deviceAddress)) return 0xFF;
    return answer ? *answer : chip;
  }
  uint8_t PrinterPortsDetected() override {
    Enter(QStringLiteral("count"));
    return static_cast<uint8_t>(ports.size());
  }
  void PutPortAddressIndex(uint8_t i) override {
    Enter(QStringLiteral("index %1").arg(i));
    index = i;
    if (i < ports.size()) address = ports[i];
  }
  int16_t PortAddress() override {
    Enter(QStringLiteral("get"));
    return address;
  }
  void PutPortAddress(int16_t a) override {
    Enter(QStringLiteral("put %1").arg(a));
    if (index < ports.size()) address = ports[index];
    for (size_t i = 0; i < ports.size(); ++i)
      if (ports[i] == a) {
        index = static_cast<uint8_t>(i);
        address = a;
        break;
      }
  }

 private:
  static QString Hex(unsigned v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(); }
  bool OnChip(uint8_t deviceAddress) const { return !ports.empty() && address == ports[0] && deviceAddress == 0x90; }
  void Enter(const QString& call) {
    calls << call;
    if (fail) {
      comrt::Error error = *fail;
      fail.reset();
      throw error;
    }
  }
};
