#include "process_generation.h"

#include <pthread.h>

#include <atomic>

namespace parport2k {

namespace {

std::atomic<unsigned> g_generation{0};

void NewProcess() { g_generation.fetch_add(1, std::memory_order_relaxed); }

// Registered when the library is loaded, so that no fork() after it goes
// unseen; the C library drops the handler again if the library is unloaded.
[[maybe_unused]] const int g_registered = pthread_atfork(nullptr, nullptr, NewProcess);

}  // namespace

unsigned ProcessGeneration() { return g_generation.load(std::memory_order_relaxed); }

}  // namespace parport2k
