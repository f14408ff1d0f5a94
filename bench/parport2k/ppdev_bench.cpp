// The ppdev backend's costs on a real kernel, run inside the guest that
// run-in-guest.sh boots: a claim and release through the library against the
// kernel's own release and claim on an open descriptor, and OutByte of the data
// register against a bare PPWDATA request, apart and side by side.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

#include "parport2k.h"

namespace {

constexpr int32_t kData = 0x378;

// A descriptor of this program's own, claimed, beside the library's.
class RawPort {
 public:
  RawPort() : fd_(open("/dev/parport0", O_RDWR | O_CLOEXEC)) {}
  RawPort(const RawPort&) = delete;
  RawPort& operator=(const RawPort&) = delete;
  ~RawPort() {
    if (fd_ >= 0) close(fd_);
  }
  bool Claim() { return fd_ >= 0 && ioctl(fd_, PPCLAIM) == 0; }
  void Release() { ioctl(fd_, PPRELEASE); }
  int fd() const { return fd_; }

 private:
  int fd_;
};

// False, and the benchmark marked failed, when the port cannot be had.
bool Claimed(bool claimed, benchmark::State& state) {
  if (!claimed) state.SkipWithError("the port cannot be claimed");
  return claimed;
}

void LibraryClaimRelease(benchmark::State& state) {
  GetParallelPortCount();
  for (auto _ : state) {
    if (!Claimed(ClaimParallelPort(1, -1) == 1, state)) break;
    ReleaseParallelPort(1);
  }
}
BENCHMARK(LibraryClaimRelease);

void KernelReleaseClaim(benchmark::State& state) {
  RawPort port;
  if (!Claimed(port.Claim(), state)) return;
  for (auto _ : state) {
    ioctl(port.fd(), PPRELEASE);
    ioctl(port.fd(), PPCLAIM);
  }
  port.Release();
}
BENCHMARK(KernelReleaseClaim);

void LibraryOutByte(benchmark::State& state) {
  GetParallelPortCount();
  if (!Claimed(ClaimParallelPort(1, -1) == 1, state)) return;
  int32_t value = 0;
  for (auto _ : state) benchmark::DoNotOptimize(OutByte(kData, ++value & 0xFF));
  ReleaseParallelPort(1);
}
BENCHMARK(LibraryOutByte);

void KernelWriteData(benchmark::State& state) {
  RawPort port;
  if (!Claimed(port.Claim(), state)) return;
  unsigned char value = 0;
  for (auto _ : state) {
    ++value;
    benchmark::DoNotOptimize(ioctl(port.fd(), PPWDATA, &value));
  }
  port.Release();
}
BENCHMARK(KernelWriteData);

// The two side by side in alternating blocks, so that the host's changing load
// (the guest runs under software emulation) falls on both alike: the ratio of
// the time the library's writes took to the time the bare requests took.
void OutByteAgainstKernelWrite(benchmark::State& state) {
  constexpr int kBlock = 64;
  using Clock = std::chrono::steady_clock;
  GetParallelPortCount();
  RawPort port;
  Clock::duration library{};
  Clock::duration kernel{};
  for (auto _ : state) {
    if (!Claimed(ClaimParallelPort(1, -1) == 1, state)) return;
    const auto library_start = Clock::now();
    for (int32_t value = 0; value < kBlock; ++value) benchmark::DoNotOptimize(OutByte(kData, value));
    library += Clock::now() - library_start;
    ReleaseParallelPort(1);

    if (!Claimed(port.Claim(), state)) return;
    const auto kernel_start = Clock::now();
    for (unsigned char value = 0; value < kBlock; ++value) benchmark::DoNotOptimize(ioctl(port.fd(), PPWDATA, &value));
    kernel += Clock::now() - kernel_start;
    port.Release();
  }
  state.counters["ratio"] = std::chrono::duration<double>(library) / std::chrono::duration<double>(kernel);
}
BENCHMARK(OutByteAgainstKernelWrite);

}  // namespace

BENCHMARK_MAIN();
