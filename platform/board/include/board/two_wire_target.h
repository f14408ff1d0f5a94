// The serial front end every bus chip carries: it decodes start, repeated start
// and stop, shifts bits in on the rising SCL edge and out after the falling one,
// answers its own address and clocks the acknowledges. The chip behind it sees
// whole bytes only.
#pragma once
#include <cstdint>

#include "board/two_wire_bus.h"

namespace qelboard {

class TwoWireTarget : public BusDevice {
 public:
  void LinesChanged(bool scl, bool sda) final;

  std::uint8_t address() const { return address_; }

  // Back to the state after power-up: idle, SDA released. Memory is the chip's.
  void ResetInterface();

 protected:
  explicit TwoWireTarget(std::uint8_t address) : address_(address) {}
  ~TwoWireTarget() = default;

  // A start or repeated start: whatever message was open is cut short.
  virtual void OnStart() {}
  // The chip has been addressed; read tells the direction.
  virtual void OnAddressed(bool read) = 0;
  // A byte written by the master; the result is the chip's acknowledge.
  virtual bool OnWrite(std::uint8_t byte) = 0;
  // The next byte the chip sends.
  virtual std::uint8_t OnRead() = 0;
  virtual void OnStop() {}

 private:
  enum class State : std::uint8_t {
    kIdle,          // waiting for a start
    kAddress,       // shifting in the address byte
    kWriteData,     // shifting in a data byte
    kAckToMaster,   // holding SDA low through the acknowledge clock
    kSendData,      // shifting a byte out
    kMasterAck,     // listening to the master's acknowledge
  };

  void SclRose(bool sda);
  void SclFell();
  void Put(bool bit) { pulls_sda_low_ = !bit; }
  void Release() { pulls_sda_low_ = false; }

  const std::uint8_t address_;
  State state_ = State::kIdle;
  bool reading_ = false;
  bool master_acked_ = false;
  std::uint8_t bits_ = 0;
  std::uint8_t shift_ = 0;
  bool scl_ = true;
  bool sda_ = true;
};

}  // namespace qelboard
