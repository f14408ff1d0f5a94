// The base of every class of a server. A class is
//
//   class SMBusProtocall final
//       : public comrt::Object<SMBusProtocall, _SMBusProtocall, __SMBusProtocall> {
//    public:
//     static constexpr const CLSID& kClsid = CLSID_SMBusProtocall;      // for ClassFactory
//     static constexpr const char* kErrorSource = "QELCom.SMBusProtocall";  // optional
//     SMBusProtocall();                        // may throw comrt::Error: creation fails
//     HRESULT get_Delay(float* retval) override {
//       return Call([&] { *comrt::Out(retval) = CommunicationsProcedures::Delay; });
//     }
//     HRESULT BlockRead(BYTE, BYTE, VARIANT* retval) override {
//       return Call([&] {
//         ...
//         Raise(__SMBusProtocall::dispid_SMBusProtocallError, short{1}, "The byte count read did not equal 32");
//       });
//     }
//   };
//   comrt::ComPtr<SMBusProtocall> p = comrt::Make<SMBusProtocall>();
//
// Pointer parameters: comrt::Out(p) throws for null (E_POINTER); check them first.
// Handing out a held object: comrt::HandOut(eeprom_, retval);
// taking one by reference (propputref): comrt::Replace(eeprom_, value);
//
// Object supplies IUnknown (QueryInterface for IUnknown, IDispatch, the default
// interface, ISupportErrorInfo and, with event interfaces, IConnectionPointContainer),
// IDispatch from the declaration, and the module's object count. Every member body
// goes through Call, which refuses other threads (RPC_E_WRONG_THREAD, nothing
// done) and turns exceptions into HRESULTs with error information (boundary.h).
#pragma once
#include <atomic>
#include <memory>
#include <string_view>
#include <thread>
#include <tuple>

#include "com/boundary.h"
#include "com/declare.h"
#include "com/dispatch.h"
#include "com/events.h"
#include "com/implements.h"

namespace comrt {

// An object property's propget: a new reference to what is held, null when null.
// The out parameter is checked before the reference is taken, so a refused call
// takes none.
template <class I>
void HandOut(const ComPtr<I>& held, I** retval) {
  I** out = Out(retval);
  *out = ComPtr<I>(held).detach();
}

// An object property's propputref: the object is passed by reference but only
// read; the new one is referenced before the old one is released, so storing the
// held object again is safe.
template <class I>
void Replace(ComPtr<I>& held, I** value) {
  held = ComPtr<I>(*Out(value));
}

// Live objects and server locks of this module, which DllCanUnloadNow reads
// through CanUnloadNow(). Each server file has its own as long as it is linked
// with hidden visibility, as servers are. Objects, class factories a client
// holds, and type information handed out all count as live.
struct ModuleCounts {
  static inline std::atomic<long> objects{0};
  static inline std::atomic<long> locks{0};
};

inline HRESULT CanUnloadNow() {
  return ModuleCounts::objects == 0 && ModuleCounts::locks == 0 ? S_OK : S_FALSE;
}

// Counts as a live object of this module while referenced: what the runtime's
// own objects (a type library, its type information) hold when a server hands
// them out, since they may call back into the server's code.
class ModuleReference final : public Implements<IUnknown> {
 public:
  static ComPtr<IUnknown> Make() { return ComPtr<IUnknown>::Adopt(new ModuleReference); }

 private:
  ModuleReference() { ++ModuleCounts::objects; }
  ~ModuleReference() override { --ModuleCounts::objects; }
};

// Creates an object; what its constructor throws propagates and nothing is kept.
template <class T, class... A>
ComPtr<T> Make(A&&... args) {
  return ComPtr<T>::Adopt(new T(std::forward<A>(args)...));
}

namespace detail {

template <class... Sources>
class EventContainer : public IConnectionPointContainer {
 public:
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
    return ::comrt::EnumConnectionPoints(points_, ppEnum);
  }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
    return ::comrt::FindConnectionPoint(points_, riid, ppCP);
  }

 protected:
  EventContainer(IUnknown& owner, std::thread::id thread) {
    (points_.push_back(std::make_unique<ConnectionPoint>(owner, *this, InfoOf<Sources>(), thread)), ...);
  }

  // Raises event `dispid` of Source (the first event interface by default) with
  // `args` in declared order: numbers, strings (UTF-8 or UTF-16) or VARIANTs.
  template <class Source = std::tuple_element_t<0, std::tuple<Sources...>>, class... Args>
  void Raise(DISPID dispid, const Args&... args) {
    std::vector<Variant> values;
    (values.push_back(ToVariant(args)), ...);
    points_[IndexOf<Source, Sources...>()]->Raise(dispid, std::move(values));
  }

 private:
  template <class A>
  static Variant ToVariant(const A& a) {
    if constexpr (std::is_base_of_v<VARIANT, A>) {
      return Variant(static_cast<const VARIANT&>(a));
    } else {
      return Variant(a);
    }
  }
  template <class S, class First, class... Rest>
  static constexpr size_t IndexOf() {
    if constexpr (std::is_same_v<S, First>) {
      return 0;
    } else {
      return 1 + IndexOf<S, Rest...>();
    }
  }

  std::vector<std::unique_ptr<ConnectionPoint>> points_;
};

template <>
class EventContainer<> {
 protected:
  EventContainer(IUnknown&, std::thread::id) {}
};

}  // namespace detail

template <class Derived, class Default, class... Sources>
class Object : public Default, public ISupportErrorInfo, public detail::EventContainer<Sources...> {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IidOf<Default>()) {
      *ppv = static_cast<Default*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
      *ppv = static_cast<ISupportErrorInfo*>(this);
    } else if constexpr (sizeof...(Sources) > 0) {
      if (riid == IID_IConnectionPointContainer) *ppv = static_cast<IConnectionPointContainer*>(this);
    }
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) {
      // A destructor that calls the object's own members (through Call, which
      // holds a reference meanwhile) must not start a second destruction.
      refs_ = 1;
      delete this;
    }
    return left;
  }

  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    return Call([&] { *Out(pctinfo) = 1; });
  }
  HRESULT GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
    return Call([&]() -> HRESULT {
      *Out(ppTInfo) = nullptr;
      if (iTInfo != 0) return DISP_E_BADINDEX;
      *ppTInfo = TypeInfoOfModule(&ModuleCounts::objects, InfoOf<Default>(), ModuleReference::Make()).detach();
      return S_OK;
    });
  }
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) override {
    return Call([&]() -> HRESULT {
      if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
      return DispatchGetIDsOfNames(InfoOf<Default>(), rgszNames, cNames, rgDispId);
    });
  }
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                 EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
    return Call([&]() -> HRESULT {
      if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
      return DispatchInvoke(static_cast<Default*>(this), InfoOf<Default>(), dispIdMember, wFlags, pDispParams,
                            pVarResult, pExcepInfo, puArgErr);
    });
  }

  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == IidOf<Default>() ? S_OK : S_FALSE;
  }

 protected:
  Object() : detail::EventContainer<Sources...>(*static_cast<Default*>(this), std::this_thread::get_id()) {
    ++ModuleCounts::objects;
  }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() { --ModuleCounts::objects; }

  // Runs a member's body (returning void or an HRESULT) at the COM boundary.
  // The object holds a reference to itself meanwhile, so that a client that drops
  // its last one from inside (an event handler, say) does not free it under the member.
  template <class F>
  HRESULT Call(F&& body) {
    if (std::this_thread::get_id() != thread_) return RPC_E_WRONG_THREAD;
    const ComPtr<Object> self(this);
    return Boundary(ErrorSource(), IidOf<Default>(), std::forward<F>(body));
  }

 private:
  static std::string_view ErrorSource() {
    if constexpr (requires { Derived::kErrorSource; }) {
      return Derived::kErrorSource;
    } else {
      return InfoOf<Default>().name;
    }
  }

  std::atomic<ULONG> refs_{1};
  const std::thread::id thread_ = std::this_thread::get_id();
};

}  // namespace comrt
