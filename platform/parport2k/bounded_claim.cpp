#include "bounded_claim.h"

#include <linux/ppdev.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <bitset>
#include <cerrno>

#include "process_generation.h"

namespace parport2k {

namespace {

void Wake(int) {}

// The real-time signal whose handler ends a claim's wait: one that nobody in
// the process handled, taken at the first claim. Its handler restarts
// interrupted calls, so a late delivery elsewhere goes unnoticed. The caller
// may take the signal over later (its own handler, the default or ignoring it):
// each claim first checks that the handler is still this one, and otherwise
// leaves that signal to the caller for good and takes another.
class WakeSignal {
 public:
  WakeSignal() = default;
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;
  ~WakeSignal() {
    if (number_ == 0 || !Ours(number_)) return;
    // Ignored, not the default (which ends the process): a late expiry may still
    // be pending when the handler's code is gone.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_IGN;
    sigemptyset(&fallback.sa_mask);
    sigaction(number_, &fallback, nullptr);
  }

  // The signal to use now; 0 when every real-time signal is the caller's.
  int Current() {
    if (number_ != 0 && Ours(number_)) return number_;
    if (number_ != 0) left_.set(static_cast<std::size_t>(number_));
    number_ = Take();
    return number_;
  }

 private:
  static bool Ours(int number) {
    struct sigaction current {};
    return sigaction(number, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
           current.sa_handler == Wake;
  }

  int Take() const {
    for (int candidate = SIGRTMAX; candidate >= SIGRTMIN; --candidate) {
      if (left_.test(static_cast<std::size_t>(candidate))) continue;
      struct sigaction current {};
      if (sigaction(candidate, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
          current.sa_handler != SIG_DFL) {
        continue;
      }
      struct sigaction wake {};
      wake.sa_handler = Wake;
      wake.sa_flags = SA_RESTART;
      sigemptyset(&wake.sa_mask);
      if (sigaction(candidate, &wake, nullptr) == 0) return candidate;
    }
    return 0;
  }

  int number_ = 0;
  std::bitset<NSIG> left_;  // signals the caller took over from the library
};

// One timer per claiming thread, aimed at that thread. Timers do not survive
// fork(): the child's copy of this object names no timer of the child's, so the
// timer is made afresh in each process, and again for a new signal.
class ThreadTimer {
 public:
  ThreadTimer() = default;
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;
  ~ThreadTimer() { Drop(); }

  // Fires after `after`, then every millisecond until disarmed: a signal taken
  // while the thread was still on its way into the claim leaves the next one to
  // end the sleep. False when no timer could be made or armed.
  bool Arm(int signal, std::chrono::microseconds after) {
    if (made_ && (signal_ != signal || generation_ != ProcessGeneration())) Drop();
    if (made_ && Set(after, kEvery)) return true;
    // Also one that names no timer here, made before a fork() that ran no fork
    // handlers, is made anew.
    Drop();
    return Make(signal) && Set(after, kEvery);
  }
  void Disarm() { Set(std::chrono::microseconds(0), std::chrono::microseconds(0)); }

 private:
  bool Make(int signal) {
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event._sigev_un._tid = gettid();
    made_ = timer_create(CLOCK_MONOTONIC, &event, &id_) == 0;
    signal_ = signal;
    generation_ = ProcessGeneration();
    return made_;
  }

  // A timer inherited across fork() is the parent's: nothing to delete here.
  void Drop() {
    if (made_ && generation_ == ProcessGeneration()) timer_delete(id_);
    made_ = false;
  }

  bool Set(std::chrono::microseconds after, std::chrono::microseconds every) {
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(after.count() / 1000000);
    when.it_value.tv_nsec = static_cast<long>(after.count() % 1000000) * 1000;
    when.it_interval.tv_nsec = static_cast<long>(every.count()) * 1000;
    return timer_settime(id_, 0, &when, nullptr) == 0;
  }

  static constexpr std::chrono::microseconds kEvery{1000};

  timer_t id_{};
  bool made_ = false;
  int signal_ = 0;
  unsigned generation_ = 0;
};

}  // namespace

int ClaimWithin(int fd, std::chrono::microseconds limit) {
  static WakeSignal wake_signal;
  thread_local ThreadTimer timer;
  // Without a timer the kernel's claim could sleep for ever, keeping every
  // other ppdev user waiting: it is not tried.
  const int signal = wake_signal.Current();
  if (signal == 0 || !timer.Arm(signal, limit)) return kNoTimeLimit;

  sigset_t wake;
  sigset_t before;
  sigemptyset(&wake);
  sigaddset(&wake, signal);
  pthread_sigmask(SIG_UNBLOCK, &wake, &before);
  const int result = ioctl(fd, PPCLAIM) == 0 ? 0 : errno;
  timer.Disarm();
  if (sigismember(&before, signal) == 1) pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return result;
}

}  // namespace parport2k
