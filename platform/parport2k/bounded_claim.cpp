#include "bounded_claim.h"

#include <linux/ppdev.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace parport2k {

namespace {

void Wake(int) {}

// A real-time signal nobody in the process handles, taken for the claim timer
// and given back when the library goes (its handler lives here). Handlers
// restart interrupted calls, so a late delivery elsewhere goes unnoticed.
class WakeSignal {
 public:
  WakeSignal() {
    for (int candidate = SIGRTMAX; candidate >= SIGRTMIN; --candidate) {
      struct sigaction current {};
      if (sigaction(candidate, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
          current.sa_handler != SIG_DFL) {
        continue;
      }
      struct sigaction wake {};
      wake.sa_handler = Wake;
      wake.sa_flags = SA_RESTART;
      sigemptyset(&wake.sa_mask);
      if (sigaction(candidate, &wake, nullptr) == 0) {
        number_ = candidate;
        return;
      }
    }
  }
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;
  ~WakeSignal() {
    if (number_ == 0) return;
    // Ignored, not the default (which ends the process): a late expiry may still
    // be pending when the handler's code is gone.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_IGN;
    sigemptyset(&fallback.sa_mask);
    sigaction(number_, &fallback, nullptr);
  }
  int number() const { return number_; }

 private:
  int number_ = 0;
};

// One timer per claiming thread, aimed at that thread.
class ThreadTimer {
 public:
  explicit ThreadTimer(int signal) {
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event._sigev_un._tid = gettid();
    made_ = signal != 0 && timer_create(CLOCK_MONOTONIC, &event, &id_) == 0;
  }
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;
  ~ThreadTimer() {
    if (made_) timer_delete(id_);
  }
  bool made() const { return made_; }
  // Fires after `after`, then every millisecond until disarmed with 0: a signal
  // taken while the thread was still on its way into the claim leaves the next
  // one to end the sleep.
  void Set(std::chrono::microseconds after) {
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(after.count() / 1000000);
    when.it_value.tv_nsec = static_cast<long>(after.count() % 1000000) * 1000;
    when.it_interval.tv_nsec = after.count() > 0 ? 1000000 : 0;
    timer_settime(id_, 0, &when, nullptr);
  }

 private:
  timer_t id_{};
  bool made_ = false;
};

}  // namespace

int ClaimWithin(int fd, std::chrono::microseconds limit) {
  static WakeSignal signal;
  thread_local ThreadTimer timer(signal.number());
  // A process that took every real-time signal gets the kernel's own claim.
  if (!timer.made()) return ioctl(fd, PPCLAIM) == 0 ? 0 : errno;

  sigset_t wake;
  sigset_t before;
  sigemptyset(&wake);
  sigaddset(&wake, signal.number());
  pthread_sigmask(SIG_UNBLOCK, &wake, &before);
  timer.Set(limit);
  const int result = ioctl(fd, PPCLAIM) == 0 ? 0 : errno;
  timer.Set(std::chrono::microseconds(0));
  if (sigismember(&before, signal.number()) == 1) pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return result;
}

}  // namespace parport2k
