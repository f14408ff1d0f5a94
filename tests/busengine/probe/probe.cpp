// A library with one routine, for the binder's tests.
extern "C" __attribute__((visibility("default"))) int ProbeAnswer(int question) { return question + 41; }
