#include "SMBus.h"

#include <charconv>
#include <iterator>
#include <string_view>

#include "BusOperation.h"
#include "OwnedLock.h"
#include "PrecisionTimer.h"
#include "QELSMBus.h"
#include "Waits.h"
#include "com/convert.h"
#include "qel/system.h"

namespace {

// The supported controllers in the order they are tested: seven of family 8086,
// held as hexadecimal texts, and one of family 10B9.
constexpr std::string_view kControllers8086[] = {"71138086", "24188086", "24288086", "24138086",
                                                 "24238086", "24438086", "24458086"};
constexpr int32_t kController10B9 = 0x710110B9;

int32_t Hexadecimal(std::string_view text) {
  uint32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return static_cast<int32_t>(value);
}

// The PC has one host controller, whichever SMBus object drives it. The search
// and each transaction hold it whole: another thread's wait until they end. A
// transaction started from the message loop during this thread's wait, which
// would interleave its register writes with the running one, is refused as a
// nested bus operation is.
quorlink::OwnedLock g_controller;

class ControllerTransaction {
 public:
  ControllerTransaction() : hold_(Unheld()) {}

 private:
  static quorlink::OwnedLock& Unheld() {
    if (g_controller.HeldHere()) quorlink::ThrowBusBusy();
    return g_controller;
  }
  const quorlink::OwnedHold hold_;
};

// Register offsets from the base and status bits of the two families.
namespace f8086 {
enum : int32_t { kStatus = 0, kStart = 2, kPointer = 3, kAddress = 4, kData = 5, kSpare = 6 };
constexpr int32_t kBusy = 0x01;
}  // namespace f8086
namespace f10B9 {
enum : int32_t { kStatus = 0, kProtocol = 1, kStart = 2, kAddress = 3, kData = 4, kPointer = 7 };
constexpr int32_t kIdle = 0x04;
}  // namespace f10B9

// The address byte in 16 bits, handed on unmasked: 7-bit addresses of 128 and
// above give 256 to 511.
int32_t AddressByte(uint8_t deviceAddress, bool read) { return (deviceAddress << 1) | (read ? 1 : 0); }

}  // namespace

SMBus::SMBus() {
  // The texts are read once, not at each of the search's tests.
  Identifiers& ids = Controllers8086_;
  ids.sharedMask = ~0u;
  for (size_t row = 0; row < std::size(kControllers8086); ++row) {
    ids.rows[row] = Hexadecimal(kControllers8086[row]);
    ids.sharedMask &= ~(static_cast<uint32_t>(ids.rows[row] ^ ids.rows[0]));
  }
  ids.sharedBits = static_cast<uint32_t>(ids.rows[0]) & ids.sharedMask;
  const int16_t code = PrecisionTimer::GetWindowsVersion();
  if (code == -1) {
    IsWinNT = quorlink::kFalse;
    return;
  }
  if (code == 400 || code == 2000) IsWinNT = quorlink::kTrue;
  if (!IsWinNT) {
    const quorlink::OwnedHold hold(g_controller);
    FindController();
  }
}

// Inline: the search tests every value it reads.
inline bool SMBus::Identifiers::Contains(int32_t identifier) const {
  if ((static_cast<uint32_t>(identifier) & sharedMask) != sharedBits) return false;
  for (const int32_t row : rows) {
    if (row == identifier) return true;
  }
  return false;
}

inline quorlink::Boolean SMBus::IsSupportedController(int32_t identifier) {
  return quorlink::ToBoolean(Controllers8086_.Contains(identifier) || identifier == kController10B9);
}

void SMBus::FindController() {
  uint8_t bus = 0, device = 7, function = 3;
  // The first read, then the scan, which reads (0, 7, 3) again in its turn.
  const auto found = [&] {
    if (IsSupportedController(QELSMBus::ReadPCI(bus, device, function, 0))) return true;
    for (int b = 0; b <= 1; ++b) {
      for (int d = 0; d <= 32; ++d) {
        for (int f = 0; f <= 254; ++f) {
          if (IsSupportedController(QELSMBus::ReadPCI(b, d, f, 0))) {
            bus = static_cast<uint8_t>(b);
            device = static_cast<uint8_t>(d);
            function = static_cast<uint8_t>(f);
            return true;
          }
        }
      }
    }
    return false;
  };
  if (!found()) return;
  DeviceID_ = QELSMBus::ReadPCI(bus, device, function, 0);
  ConfigureController(bus, device, function);
}

void SMBus::ConfigureController(uint8_t bus, uint8_t device, uint8_t function) {
  // Wrapping 32-bit arithmetic: a base register holding 0 gives -1.
  const auto minusOne = [](int32_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value) - 1); };
  if (DeviceID_ == Controllers8086_.rows[0]) {
    SMBusBaseAddress_ = minusOne(QELSMBus::ReadPCI(bus, device, 3, 0x90));
    const int32_t v = QELSMBus::ReadPCI(bus, device, 3, 0xD2);
    QELSMBus::WritePCI(bus, device, 3, 0xD2, v | 0x10000);
  } else if (Controllers8086_.Contains(DeviceID_)) {
    SMBusBaseAddress_ = minusOne(QELSMBus::ReadPCI(bus, device, 3, 0x20));
    const int32_t v = QELSMBus::ReadPCI(bus, device, 3, 0x40);
    QELSMBus::WritePCI(bus, device, 3, 0x40, v | 0x10000);
  } else if (DeviceID_ == kController10B9) {
    const int32_t a = QELSMBus::ReadPCI(bus, device, function, 0xE0);
    const int32_t v = QELSMBus::ReadPCI(bus, device, function, 0xD0);
    QELSMBus::WritePCI(bus, device, function, 0xD0, v | 0x400);
    const int32_t w = QELSMBus::ReadPCI(bus, device, function, 0xF0);
    QELSMBus::WritePCI(bus, device, function, 0xF0, w | 1);
    SMBusBaseAddress_ = static_cast<int16_t>(static_cast<uint32_t>(a) >> 16) + 65536;
  }
}

HRESULT SMBus::put_DeviceID(LONG value) {
  return Call([&] { DeviceID_ = value; });
}
HRESULT SMBus::get_DeviceID(LONG* retval) {
  return Call([&] { *comrt::Out(retval) = DeviceID_; });
}
HRESULT SMBus::put_SMBusBaseAddress(LONG value) {
  return Call([&] { SMBusBaseAddress_ = value; });
}
HRESULT SMBus::get_SMBusBaseAddress(LONG* retval) {
  return Call([&] { *comrt::Out(retval) = SMBusBaseAddress_; });
}

HRESULT SMBus::DevicePresent(BYTE DeviceAddress, VARIANT_BOOL* retval) {
  return Call([&] {
    VARIANT_BOOL* out = comrt::Out(retval);
    const ControllerTransaction transaction;
    const int32_t identifier = DeviceID_;
    if (Controllers8086_.Contains(identifier)) {
      *out = ProbeDevice8086(DeviceAddress);
    } else if (identifier == kController10B9) {
      *out = ProbeDevice10B9(DeviceAddress);
    } else {
      *out = quorlink::kFalse;
    }
  });
}

HRESULT SMBus::put_FrameDelay(float value) {
  return Call([&] { FrameDelay_ = quorlink::ClampedFrameDelay(value); });
}
HRESULT SMBus::get_FrameDelay(float* retval) {
  return Call([&] { *comrt::Out(retval) = FrameDelay_; });
}

HRESULT SMBus::PortWrite(BYTE DeviceAddress, BYTE AddressPointer, BYTE Data) {
  return Call([&] {
    const ControllerTransaction transaction;
    const int32_t identifier = DeviceID_;
    if (Controllers8086_.Contains(identifier)) {
      WriteByte8086(DeviceAddress, AddressPointer, Data);
    } else if (identifier == kController10B9) {
      WriteByte10B9(DeviceAddress, AddressPointer, Data);
    }
  });
}

HRESULT SMBus::PortRead(BYTE DeviceAddress, BYTE AddressPointer, BYTE* retval) {
  return Call([&] {
    BYTE* out = comrt::Out(retval);
    const ControllerTransaction transaction;
    const int32_t identifier = DeviceID_;
    if (Controllers8086_.Contains(identifier)) {
      *out = ReadByte8086(DeviceAddress, AddressPointer);
    } else if (identifier == kController10B9) {
      *out = ReadByte10B9(DeviceAddress, AddressPointer);
    } else {
      *out = 0;
    }
  });
}

HRESULT SMBus::put_DeviceAddress(BYTE value) {
  return Call([&] { DeviceAddress_ = value; });
}
HRESULT SMBus::get_DeviceAddress(BYTE* retval) {
  return Call([&] { *comrt::Out(retval) = DeviceAddress_; });
}

// A register of the controller: the base as it stands now, plus the offset, in 32 bits.
int32_t SMBus::Register(int32_t offset) const {
  return static_cast<int32_t>(static_cast<uint32_t>(SMBusBaseAddress_) + static_cast<uint32_t>(offset));
}

quorlink::Boolean SMBus::ProbeDevice8086(uint8_t deviceAddress) {
  using namespace f8086;
  WaitNotBusy8086();
  QELSMBus::WriteByBase(Register(kPointer), 0);
  QELSMBus::WriteByBase(Register(kAddress), AddressByte(deviceAddress, true));
  QELSMBus::WriteByBase(Register(kStatus), 0x1F);
  QELSMBus::WriteByBase(Register(kStart), 0x48);
  WaitNotBusy8086();
  const int32_t status = QELSMBus::ReadByBase(Register(kStatus)) & 0xFF;
  return quorlink::ToBoolean((status & 0xFD) == 0);
}

void SMBus::WriteByte8086(uint8_t deviceAddress, uint8_t addressPointer, uint8_t data) {
  using namespace f8086;
  WaitNotBusy8086();
  QELSMBus::WriteByBase(Register(kSpare), 0);
  QELSMBus::WriteByBase(Register(kPointer), addressPointer);
  QELSMBus::WriteByBase(Register(kAddress), AddressByte(deviceAddress, false));
  QELSMBus::WriteByBase(Register(kData), data);
  QELSMBus::WriteByBase(Register(kStatus), 0x1F);
  QELSMBus::WriteByBase(Register(kStart), 0x48);
}

uint8_t SMBus::ReadByte8086(uint8_t deviceAddress, uint8_t addressPointer) {
  using namespace f8086;
  WaitNotBusy8086();
  QELSMBus::WriteByBase(Register(kSpare), 0);
  QELSMBus::WriteByBase(Register(kData), 0);
  QELSMBus::WriteByBase(Register(kPointer), addressPointer);
  QELSMBus::WriteByBase(Register(kAddress), AddressByte(deviceAddress, true));
  QELSMBus::WriteByBase(Register(kStatus), 0x1F);
  QELSMBus::WriteByBase(Register(kStart), 0x48);
  WaitNotBusy8086();
  return static_cast<uint8_t>(QELSMBus::ReadByBase(Register(kData)));
}

quorlink::Boolean SMBus::ProbeDevice10B9(uint8_t deviceAddress) {
  using namespace f10B9;
  WaitIdle10B9();
  QELSMBus::WriteByBase(Register(kStatus), 0xF0);
  QELSMBus::WriteByBase(Register(kPointer), 0);
  QELSMBus::WriteByBase(Register(kAddress), AddressByte(deviceAddress, true));
  QELSMBus::WriteByBase(Register(kProtocol), 0x20);
  QELSMBus::WriteByBase(Register(kStart), 0xFF);
  WaitIdle10B9();
  const int32_t status = QELSMBus::ReadByBase(Register(kStatus)) & 0xFF;
  return quorlink::ToBoolean((status & 0xE0) == 0);
}

void SMBus::WriteByte10B9(uint8_t deviceAddress, uint8_t addressPointer, uint8_t data) {
  using namespace f10B9;
  WaitIdle10B9();
  QELSMBus::WriteByBase(Register(kStatus), 0xF0);
  QELSMBus::WriteByBase(Register(kPointer), addressPointer);
  QELSMBus::WriteByBase(Register(kAddress), AddressByte(deviceAddress, false));
  QELSMBus::WriteByBase(Register(kData), data);
  QELSMBus::WriteByBase(Register(kProtocol), 0x20);
  QELSMBus::WriteByBase(Register(kStart), 0);
}

uint8_t SMBus::ReadByte10B9(uint8_t deviceAddress, uint8_t addressPointer) {
  using namespace f10B9;
  WaitIdle10B9();
  QELSMBus::WriteByBase(Register(kStatus), 0xF0);
  QELSMBus::WriteByBase(Register(kPointer), addressPointer);
  QELSMBus::WriteByBase(Register(kAddress), AddressByte(deviceAddress, true));
  QELSMBus::WriteByBase(Register(kProtocol), 0x20);
  QELSMBus::WriteByBase(Register(kStart), 0);
  WaitIdle10B9();
  return static_cast<uint8_t>(QELSMBus::ReadByBase(Register(kData)));
}

void SMBus::WaitNotBusy8086() {
  WaitForStatus([](int32_t status) { return (status & f8086::kBusy) != 0; });
}

void SMBus::WaitIdle10B9() {
  WaitForStatus([](int32_t status) { return (status & f10B9::kIdle) == 0; });
}

// Polls the status register until it no longer says wait or the deadline, a whole
// second of the system timer 0.5 s to 1.5 s ahead, is reached; the timer is read
// across midnight and clock steps as every wait of the library reads it.
void SMBus::WaitForStatus(bool (*saysWait)(int32_t status)) {
  const float start = Timer();
  WaitDeadline = comrt::ToInt32(start + 1.0f);
  quorlink::Deadline deadline(start, WaitDeadline);
  const int32_t address = Register(0);  // the status register of either family
  for (float now = start;; now = Timer()) {
    const bool wait = saysWait(QELSMBus::ReadByBase(address));
    if (deadline.Reached(now) || !wait) return;
    DoEvents();
  }
}
