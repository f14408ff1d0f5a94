#include "controller_8086.h"

namespace qelsmbus {

namespace {

enum : uint8_t { kStatus = 0, kControl = 2, kCommand = 3, kAddress = 4, kData0 = 5 };
enum : uint8_t { kBusy = 0x01, kDone = 0x02, kDeviceError = 0x04, kFailed = 0x10, kClearable = 0x1E };
enum : uint8_t { kStart = 0x40, kProtocolMask = 0x1C, kByteData = 0x08 };

}  // namespace

Controller8086::Controller8086(SmbusSegment& segment, uint16_t base) : HostController(0x71138086, segment) {
  SetConfig(0x08, 0x0C050002);  // class: serial bus controller, SMBus
  SetConfig(0x90, base | 1u);
}

uint8_t Controller8086::ReadPort(uint16_t port) {
  const uint8_t offset = Offset(port);
  if (offset == kStatus) return StillBusy() ? status_ | kBusy : status_;
  return registers_[offset];
}

void Controller8086::WritePort(uint16_t port, uint8_t value) {
  const uint8_t offset = Offset(port);
  if (offset == kStatus) {
    status_ &= ~(value & kClearable);
    return;
  }
  if (offset == kControl && (value & kStart) && !Running()) {
    registers_[kControl] = value & ~kStart;
    if ((value & kProtocolMask) == kByteData) {
      StartByteData(registers_[kAddress], registers_[kCommand], registers_[kData0]);
    } else {
      status_ |= kFailed;
    }
    return;
  }
  registers_[offset] = value;
}

void Controller8086::Finish(bool acknowledged, std::optional<uint8_t> readBack) {
  if (readBack) registers_[kData0] = *readBack;
  status_ |= acknowledged ? kDone : kDeviceError;
}

}  // namespace qelsmbus
