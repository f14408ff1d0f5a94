// What both virtual SMBus host controllers share: their I/O window, their segment,
// and the timing of a transaction, which reads busy at the first status read after
// its start and has finished by the next one.
#pragma once
#include <cstdint>
#include <optional>

#include "pci_function.h"
#include "smbus_segment.h"

namespace qelsmbus {

class HostController : public PciFunction {
 public:
  HostController(uint32_t identifier, SmbusSegment& segment) : PciFunction(identifier), segment_(segment) {}

  bool Decodes(uint16_t port) const override { return static_cast<uint16_t>(port - IoBase()) < 16; }

 protected:
  // The base of the registers, as configuration space currently says.
  virtual uint16_t IoBase() const = 0;
  uint8_t Offset(uint16_t port) const { return static_cast<uint8_t>(port - IoBase()); }

  // Runs a byte-data transaction with the 8-bit address byte (bit 0: read). Its
  // outcome shows once the transaction is no longer busy.
  void StartByteData(uint8_t addressByte, uint8_t command, uint8_t data) {
    const uint8_t address = addressByte >> 1;
    if (addressByte & 1) {
      readBack_ = segment_.ReadByteData(address, command);
      acknowledged_ = readBack_.has_value();
    } else {
      readBack_.reset();
      acknowledged_ = segment_.WriteByteData(address, command, data);
    }
    busyReads_ = 1;
    running_ = true;
  }

  // Called at each status read: true while the transaction still runs. The call
  // that finds it finished hands its outcome to Finish once.
  bool StillBusy() {
    if (!running_) return false;
    if (busyReads_ > 0) {
      --busyReads_;
      return true;
    }
    running_ = false;
    Finish(acknowledged_, readBack_);
    return false;
  }

  bool Running() const { return running_; }

  virtual void Finish(bool acknowledged, std::optional<uint8_t> readBack) = 0;

 private:
  SmbusSegment& segment_;
  std::optional<uint8_t> readBack_;
  bool acknowledged_ = false;
  bool running_ = false;
  int busyReads_ = 0;
};

}  // namespace qelsmbus
