// A PPCLAIM that gives up. The kernel's claim sleeps until the port is free, and
// it sleeps holding ppdev's one lock, so that meanwhile no other ppdev user can
// even release the port; a timer signal aimed at the calling thread ends the sleep.
#pragma once
#include <chrono>

namespace parport2k {

// 0 once the descriptor holds its port; otherwise the errno, EINTR when the
// port stayed busy for `limit` (unbounded in a process that has taken every
// real-time signal, and while another program's claim sleeps holding ppdev's
// lock). After EINTR the kernel keeps the descriptor queued for the port:
// close it, or the port is handed to it unasked.
int ClaimWithin(int fd, std::chrono::microseconds limit);

}  // namespace parport2k
