// The bus engine on the virtual evaluation board: a send-byte transaction to the
// ZQS472 against the same 78 line writes made straight into the port library, so
// that what the engine adds to the board's own work shows. Also the program to
// profile (callgrind, perf) for the engine's share of a transaction.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "parport2k.h"
#include "qelboard_control.h"

namespace {

constexpr int32_t kData = 0x378;

// The writes of a send byte on the board's inverted wiring: start, address and
// data bytes with a plain acknowledge clock each, stop.
std::vector<uint8_t> SendByteWrites(uint8_t address, uint8_t data) {
  enum Code : uint8_t { HH = 0, LH = 2, LL = 3, HL = 1 };
  std::vector<uint8_t> writes{HH, LH, LL};
  for (uint8_t byte : {address, data}) {
    for (int bit = 7; bit >= 0; --bit) {
      if (byte >> bit & 1) {
        writes.insert(writes.end(), {HL, HH, HL, LL});
      } else {
        writes.insert(writes.end(), {LL, LH, LL, LL});
      }
    }
    writes.insert(writes.end(), {HL, HH, HL, LL});
  }
  writes.insert(writes.end(), {LL, LH, HH});
  return writes;
}

void ShortWriteOnBoard(benchmark::State& state) {
  QelBoard_Reset();
  CommonGlobals::PortCount = 1;
  CommonGlobals::PortIndex = 0;
  CommonGlobals::PortAddress = kData;
  CommonGlobals::InvertedLineCodes();
  for (auto _ : state) CommunicationsProcedures::ShortWriteTransaction(0x90, 0xA5);
  if (QelBoard_GetSwitchByte() != 0xA5) state.SkipWithError("the chip did not receive the byte");
}

void BareWritesOnBoard(benchmark::State& state) {
  QelBoard_Reset();
  const std::vector<uint8_t> writes = SendByteWrites(0x90, 0xA5);
  for (auto _ : state) {
    ClaimParallelPort(1, -1);
    for (const uint8_t code : writes) OutByte(kData, code);
    ReleaseParallelPort(1);
  }
  if (QelBoard_GetSwitchByte() != 0xA5) state.SkipWithError("the chip did not receive the byte");
}

BENCHMARK(ShortWriteOnBoard);
BENCHMARK(BareWritesOnBoard);

}  // namespace

int main(int argc, char** argv) {
  setenv("QEL_BOARD", "virtual", 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
