// A libparport2k.so whose routines do nothing but count the byte writes: the
// port library's own cost taken out of the measurement.
#include <cstdint>

#define NULL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int64_t g_writes = 0;
}

NULL_EXPORT int64_t NullParportWrites() { return g_writes; }
NULL_EXPORT int32_t GetParallelPortCount() { return 1; }
NULL_EXPORT int32_t GetParallelPortInfo(int32_t, void*) { return 0; }
NULL_EXPORT int32_t ClaimParallelPort(int32_t, int32_t) { return 1; }
NULL_EXPORT int32_t ReleaseParallelPort(int32_t) { return 1; }
NULL_EXPORT int32_t OutByte(int32_t, int32_t) {
  ++g_writes;
  return 1;
}
NULL_EXPORT int32_t InByte(int32_t) { return 0xFF; }
NULL_EXPORT int32_t ParPortLastError() { return 0; }
