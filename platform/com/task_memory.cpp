// The task allocator, with which COM hands out memory the caller frees.
#include <cstdlib>

#include "com/activation.h"

void* CoTaskMemAlloc(size_t cb) { return std::malloc(cb); }

void CoTaskMemFree(void* pv) { std::free(pv); }
