// Creating an SMBus object when no supported controller answers: the whole search,
// 16,831 configuration reads through the binder and libQELSMBus.so, on the host
// backend over a temporary sysfs tree of a few devices (never this machine's own)
// and on the virtual PCI bus without a controller; each beside the same reads
// made directly.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "../../tests/qelsmbus/temp_tree.h"
#include "SMBus.h"
#include "qelsmbus/qelsmbus.h"

namespace {

// The library chooses its backend again at its next call.
void ResetLibrary() { QELSMBusReset(); }

// Five functions, none of them a supported SMBus controller.
void FillTree(const TempTree& tree) {
  for (const char* function : {"0000:00:00.0", "0000:00:01.0", "0000:00:07.0", "0000:00:07.1", "0000:01:00.0"}) {
    std::vector<uint8_t> config(256, 0);
    config[0] = 0x86;
    config[1] = 0x80;
    config[2] = 0x10;
    config[3] = 0x71;  // 0x71108086: a neighbour of the supported identifiers
    tree.Write(std::string("sys/bus/pci/devices/") + function + "/config", config);
  }
}

void Search(benchmark::State& state) {
  for (auto _ : state) {
    auto object = comrt::Make<SMBus>();  // this system's version code, 0, searches
    LONG identifier = -1;
    object->get_DeviceID(&identifier);
    if (identifier != 0) state.SkipWithError("a controller was found");
    benchmark::DoNotOptimize(identifier);
  }
}

// The search's 16,831 reads made straight into the library: what the search
// costs beyond its reads shows against this.
void DirectReads(benchmark::State& state) {
  for (auto _ : state) {
    int32_t any = ReadPCI(0, 7, 3, 0);
    for (int32_t b = 0; b <= 1; ++b) {
      for (int32_t d = 0; d <= 32; ++d) {
        for (int32_t f = 0; f <= 254; ++f) any |= ReadPCI(b, d, f, 0);
      }
    }
    benchmark::DoNotOptimize(any);
  }
}

void OnHostTree(benchmark::State& state, void (*run)(benchmark::State&)) {
  TempTree tree;
  FillTree(tree);
  unsetenv("QEL_BOARD");
  setenv("QEL_SYSFS_ROOT", tree.Path("sys").c_str(), 1);
  setenv("QEL_DEV_ROOT", tree.Path("dev").c_str(), 1);
  ResetLibrary();
  run(state);
  ResetLibrary();
}

void BM_SearchHostBackend(benchmark::State& state) { OnHostTree(state, Search); }
BENCHMARK(BM_SearchHostBackend)->Unit(benchmark::kMicrosecond);

void BM_DirectReadsHostBackend(benchmark::State& state) { OnHostTree(state, DirectReads); }
BENCHMARK(BM_DirectReadsHostBackend)->Unit(benchmark::kMicrosecond);

// The first search of a process also lists the functions of the sysfs tree.
void BM_FirstSearchHostBackend(benchmark::State& state) {
  TempTree tree;
  FillTree(tree);
  unsetenv("QEL_BOARD");
  setenv("QEL_SYSFS_ROOT", tree.Path("sys").c_str(), 1);
  setenv("QEL_DEV_ROOT", tree.Path("dev").c_str(), 1);
  for (auto _ : state) {
    state.PauseTiming();
    ResetLibrary();
    state.ResumeTiming();
    auto object = comrt::Make<SMBus>();
    benchmark::DoNotOptimize(object.get());
  }
  ResetLibrary();
}
BENCHMARK(BM_FirstSearchHostBackend)->Unit(benchmark::kMicrosecond);

void OnVirtualBus(benchmark::State& state, void (*run)(benchmark::State&)) {
  setenv("QEL_BOARD", "virtual", 1);
  setenv("QEL_SMBUS_CONTROLLER", "none", 1);
  ResetLibrary();
  run(state);
  unsetenv("QEL_BOARD");
  unsetenv("QEL_SMBUS_CONTROLLER");
  ResetLibrary();
}

void BM_SearchVirtualBackend(benchmark::State& state) { OnVirtualBus(state, Search); }
BENCHMARK(BM_SearchVirtualBackend)->Unit(benchmark::kMicrosecond);

void BM_DirectReadsVirtualBackend(benchmark::State& state) { OnVirtualBus(state, DirectReads); }
BENCHMARK(BM_DirectReadsVirtualBackend)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
