#include "controller_10b9.h"

namespace qelsmbus {

namespace {

enum : uint8_t { kStatus = 0, kProtocol = 1, kStart = 2, kAddress = 3, kData0 = 4, kCommand = 7 };
enum : uint8_t { kIdle = 0x04, kBusy = 0x08, kDone = 0x10, kDeviceError = 0x20, kFailed = 0x80, kClearable = 0xF0 };
enum : uint8_t { kProtocolMask = 0x70, kByteData = 0x20 };

}  // namespace

Controller10B9::Controller10B9(SmbusSegment& segment, uint16_t base) : HostController(0x710110B9, segment) {
  SetConfig(0x08, 0x0C050000);  // class: serial bus controller, SMBus
  SetConfig(0xE0, uint32_t{base} << 16);
}

uint8_t Controller10B9::ReadPort(uint16_t port) {
  const uint8_t offset = Offset(port);
  if (offset == kStatus) return StillBusy() ? (status_ & ~kIdle) | kBusy : status_ | kIdle;
  return registers_[offset];
}

void Controller10B9::WritePort(uint16_t port, uint8_t value) {
  const uint8_t offset = Offset(port);
  if (offset == kStatus) {
    status_ &= ~(value & kClearable);
    return;
  }
  if (offset == kStart) {
    if (Running()) return;
    if ((registers_[kProtocol] & kProtocolMask) == kByteData) {
      StartByteData(registers_[kAddress], registers_[kCommand], registers_[kData0]);
    } else {
      status_ |= kFailed;
    }
    return;
  }
  registers_[offset] = value;
}

void Controller10B9::Finish(bool acknowledged, std::optional<uint8_t> readBack) {
  if (readBack) registers_[kData0] = *readBack;
  status_ |= acknowledged ? kDone : kDeviceError;
}

}  // namespace qelsmbus
