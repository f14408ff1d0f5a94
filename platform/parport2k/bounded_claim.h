// A PPCLAIM that gives up. The kernel's claim sleeps until the port is free, and
// it sleeps holding ppdev's one lock, so that meanwhile no other ppdev user can
// even release the port; a timer signal aimed at the calling thread ends the sleep.
#pragma once
#include <chrono>

namespace parport2k {

// The claim was not tried: no timer could limit its wait (every real-time
// signal is the caller's, or the timer could not be made or armed).
inline constexpr int kNoTimeLimit = -1;

// 0 once the descriptor holds its port; otherwise the errno, EINTR when the
// port stayed busy for `limit` (the wait can last longer while another
// program's claim sleeps holding ppdev's lock), or kNoTimeLimit. After EINTR the
// kernel keeps the descriptor queued for the port: close it, or the port is
// handed to it unasked.
int ClaimWithin(int fd, std::chrono::microseconds limit);

}  // namespace parport2k
