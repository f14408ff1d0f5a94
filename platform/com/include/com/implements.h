// comrt::Implements<I...>: reference counting and QueryInterface for an object of
// the runtime that offers the interfaces I... (each answering also for the
// interfaces it derives from among IUnknown and IDispatch). An object starts with
// one reference, which its creator takes over: ComPtr<T>::Adopt(new T(...)).
#pragma once
#include <atomic>
#include <tuple>
#include <type_traits>

#include "com/ptr.h"

namespace comrt {

template <class... Is>
class Implements : public Is... {
  using First = std::tuple_element_t<0, std::tuple<Is...>>;

 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = Find(riid);
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  Implements() = default;
  Implements(const Implements&) = delete;
  Implements& operator=(const Implements&) = delete;
  virtual ~Implements() = default;

  // The interface pointer for riid, without a new reference; null if not offered.
  void* Find(REFIID riid) {
    if (riid == IID_IUnknown) return static_cast<IUnknown*>(static_cast<First*>(this));
    void* found = nullptr;
    ((found = Match<Is>(riid)) || ...);
    return found;
  }

 private:
  template <class I>
  void* Match(REFIID riid) {
    if (riid == IidOf<I>()) return static_cast<I*>(this);
    if constexpr (std::is_base_of_v<IDispatch, I> && !std::is_same_v<IDispatch, I>) {
      if (riid == IID_IDispatch) return static_cast<IDispatch*>(static_cast<I*>(this));
    }
    return nullptr;
  }

  std::atomic<ULONG> refs_{1};
};

}  // namespace comrt
