// An access library's backend: chosen from the environment by the first call of
// any thread, and read without a lock after that.
#pragma once
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace qelaccess {

// QEL_BOARD=virtual asks for the virtual board in place of this machine.
inline bool VirtualBoardAsked() {
  const char* board = std::getenv("QEL_BOARD");
  return board != nullptr && std::strcmp(board, "virtual") == 0;
}

template <typename Backend>
class BackendChoice {
 public:
  // What becomes of a backend when it is dropped.
  struct Drop {
    bool owned = false;
    void operator()(Backend* backend) const {
      if (owned) delete backend;
    }
  };
  using Chosen = std::unique_ptr<Backend, Drop>;
  // Makes the backend the environment asks for, with Own or Borrow.
  using Choose = Chosen (*)();

  // Handed over: deleted when dropped.
  static Chosen Own(std::unique_ptr<Backend> backend) { return Chosen(backend.release(), Drop{true}); }
  // Lives on its own (a board model that fixture controls also reach): left alone.
  static Chosen Borrow(Backend& backend) { return Chosen(&backend, Drop{false}); }

  explicit constexpr BackendChoice(Choose choose) : choose_(choose) {}
  BackendChoice(const BackendChoice&) = delete;
  BackendChoice& operator=(const BackendChoice&) = delete;

  Backend& Get() {
    if (Backend* backend = current_.load(std::memory_order_acquire)) [[likely]] return *backend;
    return ChooseNow();
  }

  // Drops the backend, so that the next call chooses again. For tests, while no
  // other thread is in the library.
  void Reset() {
    const std::lock_guard choosing(choosing_);
    current_.store(nullptr, std::memory_order_release);
    chosen_.reset();
  }

 private:
  // Out of line, so that the calls after the first carry none of it.
  [[gnu::noinline]] Backend& ChooseNow() {
    const std::lock_guard choosing(choosing_);
    if (!chosen_) {
      chosen_ = choose_();
      current_.store(chosen_.get(), std::memory_order_release);
    }
    return *chosen_;
  }

  Choose choose_;
  std::mutex choosing_;
  Chosen chosen_;  // guarded by choosing_
  std::atomic<Backend*> current_{nullptr};
};

}  // namespace qelaccess
