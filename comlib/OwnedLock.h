// A mutex that knows which thread holds it, so a thread can tell its own hold
// from another thread's without locking twice.
#pragma once
#include <atomic>
#include <mutex>
#include <thread>

namespace quorlink {

class OwnedLock {
 public:
  bool HeldHere() const { return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id(); }
  void Take() {
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  void Give() {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

// Holds a lock for a scope; on the thread that holds it already it does nothing.
class OwnedHold {
 public:
  explicit OwnedHold(OwnedLock& lock) : lock_(lock.HeldHere() ? nullptr : &lock) {
    if (lock_) lock_->Take();
  }
  ~OwnedHold() {
    if (lock_) lock_->Give();
  }
  OwnedHold(const OwnedHold&) = delete;
  OwnedHold& operator=(const OwnedHold&) = delete;

 private:
  OwnedLock* const lock_;
};

}  // namespace quorlink
