// OutByte on the virtual evaluation board, with and without the VCD trace. The
// writes are the line codes of send-byte transactions to the ZQS472, so every
// write moves a line and runs the chips' decoders.
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "parport2k.h"
#include "qelboard_control.h"
#include "virtual_board_bench.h"

namespace {

using board_bench::kData;
using board_bench::SendByteWrites;

void RunTransactions(benchmark::State& state) {
  const std::vector<std::uint8_t> writes = SendByteWrites(0x90, 0xA5);
  ClaimParallelPort(1, -1);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(OutByte(kData, writes[i]));
    if (++i == writes.size()) i = 0;
  }
  // Finish the transaction in hand, then make sure the chip understood them.
  for (; i != 0 && i < writes.size(); ++i) OutByte(kData, writes[i]);
  ReleaseParallelPort(1);
  state.SetItemsProcessed(state.iterations());
  if (QelBoard_GetSwitchByte() != 0xA5) state.SkipWithError("the chip did not receive the byte");
}

void BM_OutByte(benchmark::State& state) {
  QelBoard_Reset();
  RunTransactions(state);
}

void BM_OutByteTraced(benchmark::State& state) {
  QelBoard_Reset();
  char path[] = "/tmp/parport2k_bench_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || QelBoard_TraceTo(path) != 1) {
    state.SkipWithError("cannot create the trace file");
    return;
  }
  close(fd);
  RunTransactions(state);
  QelBoard_TraceTo(nullptr);
  unlink(path);
}

BENCHMARK(BM_OutByte);
BENCHMARK(BM_OutByteTraced);

}  // namespace

int main(int argc, char** argv) { return board_bench::Main(argc, argv); }
