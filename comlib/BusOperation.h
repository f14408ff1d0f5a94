// The one bus of the process and the frame of every operation on it.
//
// Threads: objects of several threads share the bus and the module state, so a
// thread holds the bus while it reads or writes them; another thread waits until
// the bus is free, and an operation started then runs whole.
//
// Nesting: the waits of the bus code yield to the host's message loop, and a
// library call made from a message dispatched there would interleave its line
// writes with the operation in progress, take over its wait mark and release the
// port under it. An operation opened on the thread that runs one already raises
// error 17 at once, before anything touches the port, and leaves the running
// operation intact. The event handlers an operation calls while it is still open
// may drive single line steps (to tidy the bus), never a whole operation, so no
// handler can make the library recurse.
#pragma once
#include <cstdint>
#include <type_traits>

#include "CommunicationsProcedures.h"
#include "OwnedLock.h"
#include "PortClaim.h"

namespace quorlink {

inline constexpr int32_t kBusBusy = 17;

// "A bus operation is already in progress; the nested call was refused."
[[noreturn]] void ThrowBusBusy();

class Bus {
 public:
  // What the thread holding the bus does with it.
  enum class Use : uint8_t { StateOnly, Operation, Handlers };

  static bool HeldHere() { return lock_.HeldHere(); }

  // Read and written only by the thread holding the bus, which leaves it StateOnly.
  static inline Use use = Use::StateOnly;

 private:
  friend class BusHold;
  static inline OwnedLock lock_;
};

// Holds the bus for a scope; on the thread that holds it already it does nothing.
class BusHold : OwnedHold {
 public:
  BusHold() : OwnedHold(Bus::lock_) {}
};

// A whole operation (a transaction, a transfer, a register access, a claim or a
// release) is refused inside any other; a single line step is let through in the
// event handlers of a running operation.
enum class Reach : uint8_t { Whole, Step };

class BusOperation {
 public:
  explicit BusOperation(Reach reach = Reach::Whole) : previous_(Bus::use) {
    if (previous_ == Bus::Use::Operation || (previous_ == Bus::Use::Handlers && reach == Reach::Whole)) {
      ThrowBusBusy();
    }
    Bus::use = Bus::Use::Operation;
  }
  ~BusOperation() { Bus::use = previous_; }
  BusOperation(const BusOperation&) = delete;
  BusOperation& operator=(const BusOperation&) = delete;

  static bool Active() { return Bus::HeldHere() && Bus::use != Bus::Use::StateOnly; }

 private:
  const BusHold hold_;  // first: the use is read only once the bus is held
  const Bus::Use previous_;
};

// The scope in which a running operation calls event handlers.
class EventHandlers {
 public:
  EventHandlers() : previous_(Bus::use) { Bus::use = Bus::Use::Handlers; }
  ~EventHandlers() { Bus::use = previous_; }
  EventHandlers(const EventHandlers&) = delete;
  EventHandlers& operator=(const EventHandlers&) = delete;

 private:
  const Bus::Use previous_;
};

// How an operation claims the selected port (PortClaim.h) and how it closes: the
// port given back unless locked open, before or after the frame delay, or no delay.
enum class Claim : uint8_t { None, First, UnlessLocked };
enum class Close : uint8_t { None, ReleaseThenPause, PauseThenRelease, Release };

// The frame of every operation: the nesting guard, the claim (a failed one ends
// the operation with nothing done), the body, the close. A body returning false
// has stopped where it stood: no close, the port stays claimed. An error thrown by
// the body ends the operation there too.
template <class Body>
void OnBus(Claim claim, Close close, Body&& body) {
  const BusOperation operation;
  if (claim == Claim::First && !ClaimFirst()) return;
  if (claim == Claim::UnlessLocked && !ClaimUnlessLocked()) return;
  if constexpr (std::is_same_v<std::invoke_result_t<Body&>, bool>) {
    if (!body()) return;
  } else {
    body();
  }
  switch (close) {
    case Close::None:
      break;
    case Close::ReleaseThenPause:
      ReleaseUnlessLocked();
      CommunicationsProcedures::WaitFrameDelay();
      break;
    case Close::PauseThenRelease:
      CommunicationsProcedures::WaitFrameDelay();
      ReleaseUnlessLocked();
      break;
    case Close::Release:
      ReleaseUnlessLocked();
      break;
  }
}

// An operation that claims or releases on its own terms: the lock, a change of
// selection.
template <class Body>
void OnBus(Body&& body) {
  OnBus(Claim::None, Close::None, body);
}

}  // namespace quorlink
