// What the bus engine adds to the port writes of a transaction: one send-byte
// transaction against the same number of OutByte calls made directly through the
// binding, on a port library whose OutByte does nothing.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "Parport2k.h"

extern "C" int64_t NullParportWrites();

namespace {

void SelectThePort() {
  CommonGlobals::PortCount = 1;
  CommonGlobals::PortAddress = 0x378;
  CommonGlobals::InvertedLineCodes();
}

int64_t WritesPerTransaction() {
  SelectThePort();
  const int64_t before = NullParportWrites();
  CommunicationsProcedures::ShortWriteTransaction(0x90, 0xA5);
  return NullParportWrites() - before;
}

void ShortWriteTransaction(benchmark::State& state) {
  SelectThePort();
  for (auto _ : state) CommunicationsProcedures::ShortWriteTransaction(0x90, 0xA5);
  state.counters["writes"] = static_cast<double>(WritesPerTransaction());
}

void DirectOutBytes(benchmark::State& state) {
  const int64_t writes = WritesPerTransaction();
  for (auto _ : state) {
    for (int64_t i = 0; i < writes; ++i) parport2k::OutByte(0x378, static_cast<int32_t>(i & 3));
  }
  state.counters["writes"] = static_cast<double>(writes);
}

BENCHMARK(ShortWriteTransaction);
BENCHMARK(DirectOutBytes);

}  // namespace

BENCHMARK_MAIN();
