// comrt::ComPtr<T>: an owning interface pointer, and comrt::IidOf<T>, the interface
// identifier of an interface type (standard ones here, declared ones from their
// declaration).
#pragma once
#include <utility>

#include "com/interfaces.h"

namespace comrt {

template <class I>
struct InterfaceId {
  static constexpr const IID& value = I::comrt_iid;
};
#define COMRT_STANDARD_IID(I)                    \
  template <>                                    \
  struct InterfaceId<I> {                        \
    static constexpr const IID& value = IID_##I; \
  };
COMRT_STANDARD_IID(IUnknown)
COMRT_STANDARD_IID(IDispatch)
COMRT_STANDARD_IID(IClassFactory)
COMRT_STANDARD_IID(ISupportErrorInfo)
COMRT_STANDARD_IID(IErrorInfo)
COMRT_STANDARD_IID(ICreateErrorInfo)
COMRT_STANDARD_IID(IConnectionPointContainer)
COMRT_STANDARD_IID(IConnectionPoint)
COMRT_STANDARD_IID(IEnumConnectionPoints)
COMRT_STANDARD_IID(IEnumConnections)
COMRT_STANDARD_IID(ITypeInfo)
COMRT_STANDARD_IID(ITypeLib)
#undef COMRT_STANDARD_IID

template <class I>
constexpr const IID& IidOf() {
  return InterfaceId<I>::value;
}

// Holds one reference. Constructing from a raw pointer adds a reference; Adopt()
// takes over one the caller already owns (an out parameter's, a new object's).
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& other) : ComPtr(other.get()) {}
  ~ComPtr() { reset(); }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  static ComPtr Adopt(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // For an out parameter: drops the current reference and lends the slot.
  T** put() {
    reset();
    return &p_;
  }
  // Hands the reference to the caller, typically into an out parameter.
  T* detach() { return std::exchange(p_, nullptr); }

  // QueryInterface; null when the object does not answer for U.
  template <class U>
  ComPtr<U> As() const {
    ComPtr<U> result;
    if (p_) p_->QueryInterface(IidOf<U>(), reinterpret_cast<void**>(result.put()));
    return result;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace comrt
