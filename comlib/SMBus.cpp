#include "SMBus.h"

#include <array>
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

using quorlink::ControllerFamily;
using From = ControllerFamily::From;

// The address byte in 16 bits, handed on unmasked: 7-bit addresses of 128 and
// above give 256 to 511.
int32_t AddressByte(uint8_t deviceAddress, bool read) { return (deviceAddress << 1) | (read ? 1 : 0); }

// Wrapping 32-bit arithmetic: a base register holding 0 gives -1.
int32_t MinusOne(int32_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value) - 1); }

// Family 8086, held as hexadecimal texts.
constexpr std::string_view kTexts8086[] = {"71138086", "24188086", "24288086", "24138086",
                                           "24238086", "24438086", "24458086"};

constexpr int32_t Hexadecimal(std::string_view text) {
  uint32_t value = 0;
  for (const char c : text) value = value << 4 | static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  return static_cast<int32_t>(value);
}

// The texts are read once, when the library is built, not at each of the search's tests.
constexpr auto kRows8086 = [] {
  std::array<int32_t, std::size(kTexts8086)> rows{};
  for (size_t row = 0; row < rows.size(); ++row) rows[row] = Hexadecimal(kTexts8086[row]);
  return rows;
}();
static_assert(kRows8086[0] == 0x71138086 && kRows8086[6] == 0x24458086);

// The first row has its base and enable registers where the others do not; all
// of them are configured at function 3 of their device, wherever they were found.
void Configure8086(int32_t identifier, uint8_t bus, uint8_t device, uint8_t, int32_t& base) {
  const bool first = identifier == kRows8086[0];
  const int32_t baseRegister = first ? 0x90 : 0x20;
  const int32_t enableRegister = first ? 0xD2 : 0x40;
  base = MinusOne(QELSMBus::ReadPCI(bus, device, 3, baseRegister));
  const int32_t v = QELSMBus::ReadPCI(bus, device, 3, enableRegister);
  QELSMBus::WritePCI(bus, device, 3, enableRegister, v | 0x10000);
}

namespace f8086 {
enum : int32_t { kStatus = 0, kStart = 2, kPointer = 3, kAddress = 4, kData = 5, kSpare = 6 };
constexpr ControllerFamily::RegisterWrite ProbeDevice8086[] = {
    {kPointer, From::Value, 0},
    {kAddress, From::Address},
    {kStatus, From::Value, 0x1F},
    {kStart, From::Value, 0x48},
};
constexpr ControllerFamily::RegisterWrite WriteByte8086[] = {
    {kSpare, From::Value, 0},
    {kPointer, From::Pointer},
    {kAddress, From::Address},
    {kData, From::Data},
    {kStatus, From::Value, 0x1F},
    {kStart, From::Value, 0x48},
};
constexpr ControllerFamily::RegisterWrite ReadByte8086[] = {
    {kSpare, From::Value, 0},
    {kData, From::Value, 0},
    {kPointer, From::Pointer},
    {kAddress, From::Address},
    {kStatus, From::Value, 0x1F},
    {kStart, From::Value, 0x48},
};
}  // namespace f8086

constexpr ControllerFamily kFamily8086{
    .identifiers = kRows8086,
    .configure = Configure8086,
    .status = f8086::kStatus,
    .busyMask = 0x01,  // busy
    .busyValue = 0x01,
    .absentMask = 0xFD,
    .data = f8086::kData,
    .probe = f8086::ProbeDevice8086,
    .write = f8086::WriteByte8086,
    .read = f8086::ReadByte8086,
};

// Family 10B9, held as a number, configured at the function where it was found.
constexpr int32_t kRows10B9[] = {0x710110B9};

// The base is the upper half of register 0xE0 as a signed 16-bit number plus
// 65536: an upper half of 0x8000 or more gives itself, a lower one itself plus 0x10000.
void Configure10B9(int32_t, uint8_t bus, uint8_t device, uint8_t function, int32_t& base) {
  const int32_t a = QELSMBus::ReadPCI(bus, device, function, 0xE0);
  const int32_t v = QELSMBus::ReadPCI(bus, device, function, 0xD0);
  QELSMBus::WritePCI(bus, device, function, 0xD0, v | 0x400);
  const int32_t w = QELSMBus::ReadPCI(bus, device, function, 0xF0);
  QELSMBus::WritePCI(bus, device, function, 0xF0, w | 1);
  base = static_cast<int16_t>(static_cast<uint32_t>(a) >> 16) + 65536;
}

namespace f10B9 {
enum : int32_t { kStatus = 0, kProtocol = 1, kStart = 2, kAddress = 3, kData = 4, kPointer = 7 };
constexpr ControllerFamily::RegisterWrite ProbeDevice10B9[] = {
    {kStatus, From::Value, 0xF0},
    {kPointer, From::Value, 0},
    {kAddress, From::Address},
    {kProtocol, From::Value, 0x20},
    {kStart, From::Value, 0xFF},
};
constexpr ControllerFamily::RegisterWrite WriteByte10B9[] = {
    {kStatus, From::Value, 0xF0},
    {kPointer, From::Pointer},
    {kAddress, From::Address},
    {kData, From::Data},
    {kProtocol, From::Value, 0x20},
    {kStart, From::Value, 0},
};
constexpr ControllerFamily::RegisterWrite ReadByte10B9[] = {
    {kStatus, From::Value, 0xF0},
    {kPointer, From::Pointer},
    {kAddress, From::Address},
    {kProtocol, From::Value, 0x20},
    {kStart, From::Value, 0},
};
}  // namespace f10B9

constexpr ControllerFamily kFamily10B9{
    .identifiers = kRows10B9,
    .configure = Configure10B9,
    .status = f10B9::kStatus,
    .busyMask = 0x04,  // idle
    .busyValue = 0,
    .absentMask = 0xE0,
    .data = f10B9::kData,
    .probe = f10B9::ProbeDevice10B9,
    .write = f10B9::WriteByte10B9,
    .read = f10B9::ReadByte10B9,
};

// The supported families, in the order their identifiers are tested.
constexpr const ControllerFamily* kFamilies[] = {&kFamily8086, &kFamily10B9};

constexpr const ControllerFamily* FamilyOf(int32_t identifier) {
  for (const ControllerFamily* family : kFamilies) {
    for (const int32_t row : family->identifiers) {
      if (row == identifier) return family;
    }
  }
  return nullptr;
}

// The bits in which all supported identifiers agree, and their values. Most values
// a search reads differ from all of them in one of these bits, so that test comes
// first.
struct SharedBits {
  uint32_t mask = ~0u;
  uint32_t bits = 0;
};
constexpr SharedBits kShared = [] {
  SharedBits shared;
  const auto first = static_cast<uint32_t>(kFamilies[0]->identifiers[0]);
  for (const ControllerFamily* family : kFamilies) {
    for (const int32_t row : family->identifiers) shared.mask &= ~(static_cast<uint32_t>(row) ^ first);
  }
  shared.bits = first & shared.mask;
  return shared;
}();

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

}  // namespace

SMBus::SMBus() {
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
inline quorlink::Boolean SMBus::IsSupportedController(int32_t identifier) {
  if ((static_cast<uint32_t>(identifier) & kShared.mask) != kShared.bits) return quorlink::kFalse;
  return quorlink::ToBoolean(FamilyOf(identifier) != nullptr);
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
  SetDeviceID(QELSMBus::ReadPCI(bus, device, function, 0));
  ConfigureController(bus, device, function);
}

// By the family of DeviceID as it stands after the second read; an identifier that
// changed to an unsupported one configures nothing.
void SMBus::ConfigureController(uint8_t bus, uint8_t device, uint8_t function) {
  if (family_) family_->configure(DeviceID_, bus, device, function, SMBusBaseAddress_);
}

void SMBus::SetDeviceID(int32_t identifier) {
  DeviceID_ = identifier;
  family_ = FamilyOf(identifier);
}

HRESULT SMBus::put_DeviceID(LONG value) {
  return Call([&] { SetDeviceID(value); });
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
    const ControllerFamily* family = family_;
    *out = family ? ProbeDevice(*family, DeviceAddress) : quorlink::kFalse;
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
    if (const ControllerFamily* family = family_) WriteByte(*family, DeviceAddress, AddressPointer, Data);
  });
}

HRESULT SMBus::PortRead(BYTE DeviceAddress, BYTE AddressPointer, BYTE* retval) {
  return Call([&] {
    BYTE* out = comrt::Out(retval);
    const ControllerTransaction transaction;
    const ControllerFamily* family = family_;
    *out = family ? ReadByte(*family, DeviceAddress, AddressPointer) : 0;
  });
}

HRESULT SMBus::put_DeviceAddress(BYTE value) {
  return Call([&] { DeviceAddress_ = value; });
}
HRESULT SMBus::get_DeviceAddress(BYTE* retval) {
  return Call([&] { *comrt::Out(retval) = DeviceAddress_; });
}

// The probe addresses device register 0 with the read bit set and fetches no
// data; only the final status decides.
quorlink::Boolean SMBus::ProbeDevice(const ControllerFamily& family, uint8_t deviceAddress) {
  WaitForStatus(family);
  WriteRegisters(family.probe, AddressByte(deviceAddress, true), 0, 0);
  WaitForStatus(family);
  const int32_t status = QELSMBus::ReadByBase(Register(family.status)) & 0xFF;
  return quorlink::ToBoolean((status & family.absentMask) == 0);
}

// No wait follows: the completion is awaited by the first wait of the next transaction.
void SMBus::WriteByte(const ControllerFamily& family, uint8_t deviceAddress, uint8_t addressPointer, uint8_t data) {
  WaitForStatus(family);
  WriteRegisters(family.write, AddressByte(deviceAddress, false), addressPointer, data);
}

uint8_t SMBus::ReadByte(const ControllerFamily& family, uint8_t deviceAddress, uint8_t addressPointer) {
  WaitForStatus(family);
  WriteRegisters(family.read, AddressByte(deviceAddress, true), addressPointer, 0);
  WaitForStatus(family);
  return static_cast<uint8_t>(QELSMBus::ReadByBase(Register(family.data)));
}

void SMBus::WriteRegisters(ControllerFamily::Sequence sequence, int32_t addressByte, uint8_t addressPointer,
                           uint8_t data) {
  for (const ControllerFamily::RegisterWrite& write : sequence) {
    int32_t value = write.value;
    switch (write.from) {
      case From::Value:
        break;
      case From::Pointer:
        value = addressPointer;
        break;
      case From::Address:
        value = addressByte;
        break;
      case From::Data:
        value = data;
        break;
    }
    QELSMBus::WriteByBase(Register(write.offset), value);
  }
}

// Polls the status register until it no longer says wait or the deadline, a whole
// second of the system timer 0.5 s to 1.5 s ahead, is reached; the timer is read
// across midnight and clock steps as every wait of the library reads it.
void SMBus::WaitForStatus(const ControllerFamily& family) {
  const float start = Timer();
  WaitDeadline = comrt::ToInt32(start + 1.0f);
  quorlink::Deadline deadline(start, WaitDeadline);
  const int32_t address = Register(family.status);
  for (float now = start;; now = Timer()) {
    const bool wait = (QELSMBus::ReadByBase(address) & family.busyMask) == family.busyValue;
    if (deadline.Reached(now) || !wait) return;
    DoEvents();
  }
}

// A register of the controller: the base as it stands now, plus the offset, in 32 bits.
int32_t SMBus::Register(int32_t offset) const {
  return static_cast<int32_t>(static_cast<uint32_t>(SMBusBaseAddress_) + static_cast<uint32_t>(offset));
}
