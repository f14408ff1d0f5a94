#include "com/events.h"

#include <new>
#include <stdexcept>

#include "com/implements.h"

namespace comrt {

namespace {

// A snapshot enumerator; it holds a reference to each item it lists.
template <class IEnum, class Item>
class Enumerator final : public Implements<IEnum> {
 public:
  explicit Enumerator(std::vector<Item> items, size_t at = 0) : items_(std::move(items)), at_(at) {
    for (Item& item : items_) Unknown(item)->AddRef();
  }
  ~Enumerator() override {
    for (Item& item : items_) Unknown(item)->Release();
  }

  HRESULT Next(ULONG count, Item* out, ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && at_ < items_.size(); ++n, ++at_) {
      out[n] = items_[at_];
      Unknown(out[n])->AddRef();
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    const size_t left = items_.size() - at_;
    at_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    at_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnum** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) Enumerator(items_, at_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  static IUnknown* Unknown(const CONNECTDATA& d) { return d.pUnk; }
  static IUnknown* Unknown(IConnectionPoint* p) { return p; }

  std::vector<Item> items_;
  size_t at_;
};

}  // namespace

ConnectionPoint::ConnectionPoint(IUnknown& owner, IConnectionPointContainer& container, const TypeData& events,
                                 std::thread::id thread)
    : owner_(owner), container_(container), events_(events), thread_(thread) {}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!(riid == IID_IUnknown) && !(riid == IID_IConnectionPoint)) return E_NOINTERFACE;
  *ppv = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
  if (pIID == nullptr) return E_POINTER;
  *pIID = events_.guid;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (ppCPC == nullptr) return E_POINTER;
  container_.AddRef();
  *ppCPC = &container_;
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (!OnOwnerThread()) return RPC_E_WRONG_THREAD;
  if (pdwCookie == nullptr) return E_POINTER;
  *pdwCookie = 0;
  if (pUnkSink == nullptr) return E_POINTER;
  ComPtr<IDispatch> dispatch;
  if (FAILED(pUnkSink->QueryInterface(events_.guid, reinterpret_cast<void**>(dispatch.put()))) &&
      FAILED(pUnkSink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.put()))))
    return CONNECT_E_CANNOTCONNECT;
  if (!dispatch) return CONNECT_E_CANNOTCONNECT;
  try {
    sinks_.push_back({nextCookie_, std::move(dispatch)});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *pdwCookie = nextCookie_++;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
  if (!OnOwnerThread()) return RPC_E_WRONG_THREAD;
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->cookie == dwCookie) {
      sinks_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (!OnOwnerThread()) return RPC_E_WRONG_THREAD;
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = nullptr;
  try {
    std::vector<CONNECTDATA> items;
    for (const Sink& s : sinks_) items.push_back({s.dispatch.get(), s.cookie});
    *ppEnum = new Enumerator<IEnumConnections, CONNECTDATA>(std::move(items));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

void ConnectionPoint::Raise(DISPID dispid, std::vector<Variant> args) {
  const MemberInfo* event = events_.Find(dispid, DISPATCH_METHOD);
  if (event == nullptr) throw std::logic_error(events_.name + " has no event with this dispid");
  if (event->params.size() != args.size()) throw std::logic_error(events_.name + "." + event->name + ": argument count");
  for (size_t i = 0; i < args.size(); ++i) {
    const VARTYPE vt = event->params[i].vt;
    if (vt != VT_VARIANT && vt != VT_USERDEFINED) ChangeType(args[i], args[i], vt);
  }
  // The list may change while a sink runs (a sink that unadvises): call the ones
  // subscribed when the event was raised.
  const std::vector<Sink> sinks = sinks_;
  for (const Sink& sink : sinks) {
    std::vector<Variant> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    UINT argErr = 0;
    try {
      sink.dispatch->Invoke(dispid, IID_NULL, LOCALE_NEUTRAL, DISPATCH_METHOD, &params, nullptr, &excep, &argErr);
    } catch (...) {
      // A sink that breaks the contract by throwing is treated as one that failed.
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
}

HRESULT FindConnectionPoint(const std::vector<std::unique_ptr<ConnectionPoint>>& points, REFIID riid,
                            IConnectionPoint** ppCP) {
  if (ppCP == nullptr) return E_POINTER;
  *ppCP = nullptr;
  for (const auto& p : points) {
    if (p->iid() == riid) {
      p->AddRef();
      *ppCP = p.get();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT EnumConnectionPoints(const std::vector<std::unique_ptr<ConnectionPoint>>& points,
                             IEnumConnectionPoints** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = nullptr;
  try {
    std::vector<IConnectionPoint*> items;
    for (const auto& p : points) items.push_back(p.get());
    *ppEnum = new Enumerator<IEnumConnectionPoints, IConnectionPoint*>(std::move(items));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace comrt
