// The bus engine on the virtual evaluation board: a send-byte transaction to the
// ZQS472 against the same 78 line writes made straight into the port library, so
// that what the engine adds to the board's own work shows. Also the program to
// profile (callgrind, perf) for the engine's share of a transaction.
#include <cstdint>
#include <vector>

#include "../parport2k/virtual_board_bench.h"
#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "parport2k.h"
#include "qelboard_control.h"

namespace {

using board_bench::kData;

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
  const std::vector<uint8_t> writes = board_bench::SendByteWrites(0x90, 0xA5);
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

int main(int argc, char** argv) { return board_bench::Main(argc, argv); }
