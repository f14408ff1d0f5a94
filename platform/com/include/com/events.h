// Connection points: the sinks subscribed to one event interface of an object.
// Objects get them through comrt::Object's Sources (object.h); class code only
// calls Raise.
#pragma once
#include <memory>
#include <thread>
#include <vector>

#include "com/typedata.h"
#include "com/variant.h"

namespace comrt {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // `owner` is the object's identity: the connection point lives inside it and
  // counts its references there.
  ConnectionPoint(IUnknown& owner, IConnectionPointContainer& container, const TypeData& events,
                  std::thread::id thread);

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override { return owner_.AddRef(); }
  ULONG Release() override { return owner_.Release(); }

  HRESULT GetConnectionInterface(IID* pIID) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
  // The sink must answer for the event interface or for IDispatch
  // (CONNECT_E_CANNOTCONNECT otherwise). Cookies start at 1 and are never reused.
  HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  HRESULT Unadvise(DWORD dwCookie) override;
  HRESULT EnumConnections(IEnumConnections** ppEnum) override;

  const IID& iid() const { return events_.guid; }

  // Calls IDispatch::Invoke(dispid, DISPATCH_METHOD) on every sink, one after
  // another, each with its own copy of `args` (in declared order, converted to the
  // declared types). What a sink does or returns does not stop the others. Throws
  // std::logic_error for an event or argument count the interface does not declare.
  void Raise(DISPID dispid, std::vector<Variant> args);

 private:
  struct Sink {
    DWORD cookie;
    ComPtr<IDispatch> dispatch;
  };
  bool OnOwnerThread() const { return std::this_thread::get_id() == thread_; }

  IUnknown& owner_;
  IConnectionPointContainer& container_;
  const TypeData& events_;
  std::thread::id thread_;
  std::vector<Sink> sinks_;
  DWORD nextCookie_ = 1;
};

HRESULT FindConnectionPoint(const std::vector<std::unique_ptr<ConnectionPoint>>& points, REFIID riid,
                            IConnectionPoint** ppCP);
HRESULT EnumConnectionPoints(const std::vector<std::unique_ptr<ConnectionPoint>>& points,
                             IEnumConnectionPoints** ppEnum);

}  // namespace comrt
