// A library with one routine and an error query, for the binder's tests.
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_lastError = 0;
}

PROBE_EXPORT int ProbeAnswer(int question) { return question + 41; }
PROBE_EXPORT void ProbeSetLastError(int number) { g_lastError = number; }
PROBE_EXPORT int ProbeLastError() { return g_lastError; }
