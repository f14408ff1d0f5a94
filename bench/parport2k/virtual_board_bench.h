// What the benchmarks on the virtual evaluation board share: the line writes of a
// send byte to the ZQS472, and a main that runs them with the virtual board chosen.
#pragma once
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace board_bench {

inline constexpr int32_t kData = 0x378;

// Board codes (a set bit pulls its line low): first letter SDA, second SCL.
enum Code : std::uint8_t { HH = 0, LH = 2, LL = 3, HL = 1 };

// Start, the two bytes with a plain acknowledge clock each, stop: 78 writes.
inline std::vector<std::uint8_t> SendByteWrites(std::uint8_t address, std::uint8_t data) {
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

inline int Main(int argc, char** argv) {
  setenv("QEL_BOARD", "virtual", 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace board_bench
