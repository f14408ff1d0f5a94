// The base of the classes that work on the shared port state. Every member holds
// the bus while it runs (BusOperation.h), so that a member called on one thread
// waits while another thread's operation runs and never sees its state half-made.
#pragma once
#include "BusOperation.h"
#include "com/object.h"

namespace quorlink {

template <class Derived, class Default, class... Sources>
class BusObject : public comrt::Object<Derived, Default, Sources...> {
 protected:
  template <class F>
  HRESULT Call(F&& body) {
    return comrt::Object<Derived, Default, Sources...>::Call([&]() -> decltype(auto) {
      const BusHold hold;
      return body();
    });
  }
};

}  // namespace quorlink
