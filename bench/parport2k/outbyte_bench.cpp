// OutByte on the virtual evaluation board, with and without the VCD trace. The
// writes are the line codes of send-byte transactions to the ZQS472, so every
// write moves a line and runs the chips' decoders.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "parport2k.h"
#include "qelboard_control.h"

namespace {

constexpr int32_t kData = 0x378;

// Board codes (a set bit pulls its line low): first letter SDA, second SCL.
enum Code : std::uint8_t { HH = 0, LH = 2, LL = 3, HL = 1 };

std::vector<std::uint8_t> SendByteWrites(std::uint8_t address, std::uint8_t data) {
  std::vector<std::uint8_t> writes{HH, LH, LL};
  for (std::uint8_t byte : {address, data}) {
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

int main(int argc, char** argv) {
  setenv("QEL_BOARD", "virtual", 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
