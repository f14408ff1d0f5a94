#include "board/two_wire_target.h"

namespace qelboard {

void TwoWireTarget::ResetInterface() {
  state_ = State::kIdle;
  bits_ = 0;
  shift_ = 0;
  Release();
}

void TwoWireTarget::LinesChanged(bool scl, bool sda) {
  const bool was_scl = scl_;
  const bool was_sda = sda_;
  scl_ = scl;
  sda_ = sda;
  if (scl && was_scl) {
    // SDA moving while SCL is high is a condition, never data.
    if (was_sda && !sda) {
      Release();
      OnStart();
      state_ = State::kAddress;
      bits_ = 0;
      shift_ = 0;
    } else if (!was_sda && sda) {
      Release();
      state_ = State::kIdle;
      OnStop();
    }
    return;
  }
  if (scl && !was_scl) SclRose(sda);
  if (!scl && was_scl) SclFell();
}

void TwoWireTarget::SclRose(bool sda) {
  switch (state_) {
    case State::kAddress:
    case State::kWriteData:
      shift_ = static_cast<std::uint8_t>(shift_ << 1 | (sda ? 1 : 0));
      ++bits_;
      break;
    case State::kMasterAck:
      master_acked_ = !sda;
      break;
    default:
      break;
  }
}

// The chip changes SDA only while SCL is low, right after the falling edge.
void TwoWireTarget::SclFell() {
  switch (state_) {
    case State::kAddress:
      if (bits_ < 8) return;
      if ((shift_ >> 1) != address_) {
        state_ = State::kIdle;  // not ours: SDA stays released, the master sees a not-acknowledge
        return;
      }
      reading_ = (shift_ & 1) != 0;
      OnAddressed(reading_);
      Put(false);
      state_ = State::kAckToMaster;
      return;
    case State::kWriteData:
      if (bits_ < 8) return;
      if (OnWrite(shift_)) {
        Put(false);
        state_ = State::kAckToMaster;
      } else {
        state_ = State::kIdle;
      }
      return;
    case State::kAckToMaster:
      Release();
      bits_ = 0;
      shift_ = 0;
      if (reading_) {
        shift_ = OnRead();
        Put((shift_ & 0x80) != 0);
        state_ = State::kSendData;
      } else {
        state_ = State::kWriteData;
      }
      return;
    case State::kSendData:
      if (++bits_ < 8) {
        Put((shift_ >> (7 - bits_) & 1) != 0);
      } else {
        Release();  // the ninth clock belongs to the master's acknowledge
        master_acked_ = false;
        state_ = State::kMasterAck;
      }
      return;
    case State::kMasterAck:
      if (master_acked_) {
        bits_ = 0;
        shift_ = OnRead();
        Put((shift_ & 0x80) != 0);
        state_ = State::kSendData;
      } else {
        state_ = State::kIdle;  // the master ends the read; wait for its stop or start
      }
      return;
    case State::kIdle:
      return;
  }
}

}  // namespace qelboard
