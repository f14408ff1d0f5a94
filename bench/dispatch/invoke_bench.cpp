// IDispatch::Invoke on a class declared as the server's classes are, with the
// argument forms a script passes (numbers of another type than declared, a
// property value named DISPID_PROPERTYPUT, named arguments), against the same
// member called through the vtable. Each benchmark also reports the heap
// allocations one call makes, counted by replacing the global operator new.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "com/object.h"
#include "com/variant.h"

namespace {

std::atomic<long> g_allocations{0};

}  // namespace

// Kept out of line, so that the compiler pairs each delete with this new.
__attribute__((noinline)) void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

struct _Meter;

#define BENCH_MEMBERS__Meter(M)                                           \
  M(PROPGET, Level, 0x68030000, (short* retval))                          \
  M(PROPPUT, Level, 0x68030000, (short value))                            \
  M(METHOD, Send, 0x60030000, (BYTE Address, BYTE Data))                  \
  M(METHOD, Scale, 0x60030001, (float Factor, LONG Count, float* retval))

COM_DUAL_INTERFACE(_Meter, "{0E5B7A31-6C2D-4F8E-9A14-2B7C3D9E8F01}", BENCH_MEMBERS__Meter)

class Meter final : public comrt::Object<Meter, _Meter> {
 public:
  short level = 0;
  int sent = 0;

  HRESULT get_Level(short* retval) override {
    return Call([&] { *comrt::Out(retval) = level; });
  }
  HRESULT put_Level(short value) override {
    return Call([&] { level = value; });
  }
  HRESULT Send(BYTE Address, BYTE Data) override {
    return Call([&] { sent += Address + Data; });
  }
  HRESULT Scale(float Factor, LONG Count, float* retval) override {
    return Call([&] { *comrt::Out(retval) = Factor * static_cast<float>(Count); });
  }
};

// Calls `member` through IDispatch::Invoke with `params` for every iteration.
void MeasureInvoke(benchmark::State& state, DISPID member, WORD flags, DISPPARAMS params, bool withResult = false) {
  comrt::ComPtr<Meter> meter = comrt::Make<Meter>();
  IDispatch* late = static_cast<_Meter*>(meter.get());
  VARIANT result;
  VariantInit(&result);
  const long before = g_allocations;
  for (auto _ : state) {
    const HRESULT hr =
        late->Invoke(member, IID_NULL, 0, flags, &params, withResult ? &result : nullptr, nullptr, nullptr);
    if (hr != S_OK) state.SkipWithError("Invoke failed");
    benchmark::DoNotOptimize(hr);
  }
  state.counters["allocations_per_call"] =
      benchmark::Counter(static_cast<double>(g_allocations - before), benchmark::Counter::kAvgIterations);
}

// Send(Address, Data) with two VT_I4 arguments, as a script passes numbers.
void BM_InvokeMethod(benchmark::State& state) {
  VARIANT args[2];
  args[0].vt = VT_I4, args[0].lVal = 0x05;
  args[1].vt = VT_I4, args[1].lVal = 0x90;
  MeasureInvoke(state, 0x60030000, DISPATCH_METHOD, DISPPARAMS{args, nullptr, 2, 0});
}
BENCHMARK(BM_InvokeMethod);

// The same member through the vtable: the baseline.
void BM_DirectMethod(benchmark::State& state) {
  comrt::ComPtr<Meter> meter = comrt::Make<Meter>();
  _Meter* early = meter.get();
  BYTE address = 0x90;
  benchmark::DoNotOptimize(address);
  for (auto _ : state) {
    const HRESULT hr = early->Send(address, 0x05);
    benchmark::DoNotOptimize(hr);
  }
}
BENCHMARK(BM_DirectMethod);

// Scale(Factor, Count) with a double and a short, its float result in a VARIANT.
void BM_InvokeWithResult(benchmark::State& state) {
  VARIANT args[2];
  args[0].vt = VT_I2, args[0].iVal = 3;
  args[1].vt = VT_R8, args[1].dblVal = 1.5;
  MeasureInvoke(state, 0x60030001, DISPATCH_METHOD, DISPPARAMS{args, nullptr, 2, 0}, true);
}
BENCHMARK(BM_InvokeWithResult);

// Level = 7, the value named DISPID_PROPERTYPUT.
void BM_InvokePropertyPut(benchmark::State& state) {
  VARIANT value;
  value.vt = VT_I4, value.lVal = 7;
  DISPID put = DISPID_PROPERTYPUT;
  MeasureInvoke(state, 0x68030000, DISPATCH_PROPERTYPUT, DISPPARAMS{&value, &put, 1, 1});
}
BENCHMARK(BM_InvokePropertyPut);

// Send Data:=5, Address:=&H90 with both arguments named.
void BM_InvokeNamed(benchmark::State& state) {
  VARIANT args[2];
  args[0].vt = VT_I4, args[0].lVal = 0x05;
  args[1].vt = VT_I4, args[1].lVal = 0x90;
  DISPID names[2] = {1, 0};
  MeasureInvoke(state, 0x60030000, DISPATCH_METHOD, DISPPARAMS{args, names, 2, 2});
}
BENCHMARK(BM_InvokeNamed);

}  // namespace

BENCHMARK_MAIN();
