// Which process the library runs in: a number that changes in every child made
// by fork(). Descriptors, claims and timers inherited across fork() are the
// parent's; the library compares this number with the one it noted when it made
// them. Reading it costs no system call.
#pragma once

namespace parport2k {

unsigned ProcessGeneration();

}  // namespace parport2k
