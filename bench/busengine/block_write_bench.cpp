// What the packet error code adds to a block write: the longest block write,
// 255 data bytes, with and without the PEC byte, on the do-nothing port library.
#include <benchmark/benchmark.h>

#include "BlockTransfers.h"
#include "CommonGlobals.h"
#include "com/oleauto.h"
#include "com/variant.h"

namespace {

constexpr uint8_t kByteCount = 255;

// Elements 0 to 2 stand for the header; 3 to 257 are the data bytes.
comrt::Variant BlockData() {
  SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, kByteCount + 3);
  for (LONG index = 0; index < kByteCount + 3; ++index) {
    SHORT value = static_cast<SHORT>((index * 37) & 0xFF);
    SafeArrayPutElement(array, &index, &value);
  }
  comrt::Variant data;
  data.vt = VT_ARRAY | VT_I2;
  data.parray = array;
  return data;
}

void BlockWrite(benchmark::State& state, bool usePEC) {
  CommonGlobals::PortCount = 1;
  CommonGlobals::PortAddress = 0x378;
  CommonGlobals::DeviceAddress = 0x90;
  CommonGlobals::InvertedLineCodes();
  const comrt::Variant data = BlockData();
  quorlink::BlockTransfers block;
  block.UsePEC = quorlink::ToBoolean(usePEC);
  for (auto _ : state) block.BlockWrite(kByteCount, data);
  benchmark::DoNotOptimize(block.FinalPEC);
}

void BlockWriteWithoutPEC(benchmark::State& state) { BlockWrite(state, false); }
void BlockWriteWithPEC(benchmark::State& state) { BlockWrite(state, true); }

BENCHMARK(BlockWriteWithoutPEC)->Unit(benchmark::kMicrosecond);
BENCHMARK(BlockWriteWithPEC)->Unit(benchmark::kMicrosecond);

}  // namespace
