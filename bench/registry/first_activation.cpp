// Prints how many nanoseconds this process's first activation of QELRurUzoz by
// class identifier took (finding it in the registry, loading the server, its
// class object); exits 1 when the activation fails.
#include <chrono>
#include <cstdio>

#include "com/activation.h"

int main() {
  const CLSID clsid = comrt::ParseGuid("{3B76B453-B626-4D76-8EE7-11414A250AD1}");
  IClassFactory* factory = nullptr;
  const auto start = std::chrono::steady_clock::now();
  const HRESULT hr =
      CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  const auto took = std::chrono::steady_clock::now() - start;
  if (FAILED(hr)) return 1;
  factory->Release();
  std::printf("%lld\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(took).count()));
  return 0;
}
