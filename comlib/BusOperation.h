// One bus operation at a time per process. The waits of the bus code yield to the
// host's message loop, and a library call made from a message dispatched there
// would interleave its line writes with the operation in progress, take over its
// wait mark and release the port under it. Every bus operation therefore opens a
// BusOperation scope first; opening one while another is open raises error 17 at
// once, before anything touches the port, and leaves the running operation intact.
#pragma once
#include <cstdint>

namespace quorlink {

inline constexpr int32_t kBusBusy = 17;

// "A bus operation is already in progress; the nested call was refused."
[[noreturn]] void ThrowBusBusy();

class BusOperation {
 public:
  BusOperation() {
    if (active_) ThrowBusBusy();
    active_ = true;
  }
  ~BusOperation() { active_ = false; }
  BusOperation(const BusOperation&) = delete;
  BusOperation& operator=(const BusOperation&) = delete;

  static bool Active() { return active_; }

 private:
  static inline bool active_ = false;
};

}  // namespace quorlink
