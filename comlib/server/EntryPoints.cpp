// The four entry points of the server file, its only exports.
#include <type_traits>

#include "EEPROM.h"
#include "PortRegisters.h"
#include "PrinterPort.h"
#include "QELComClasses.h"
#include "QELRurUzoz.h"
#include "Registration.h"
#include "SMBus.h"
#include "SMBusProtocall.h"
#include "USB.h"
#include "com/factory.h"

namespace {

template <class... Classes>
struct ClassList {
  template <class Next>
  using And = ClassList<Classes..., Next>;

  static HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return comrt::GetClassObject<Classes...>(rclsid, riid, ppv);
  }
};

#define QELCOM_LIST_CLASS(name, ...) ::And<name>
using Classes = ClassList<> QELCOM_CLASSES(QELCOM_LIST_CLASS);
#undef QELCOM_LIST_CLASS

// Each class is the object of its row: its identifier, its default interface and
// the event interface it raises its events through.
#define QELCOM_CHECK_CLASS(name, ...)                                                                     \
  static_assert(&name::kClsid == &CLSID_##name, #name " carries the identifier of its row");              \
  static_assert(std::is_base_of_v<comrt::Object<name, _##name __VA_OPT__(, ) __VA_ARGS__>, name>,           \
                #name " has the default and event interfaces of its row");
QELCOM_CLASSES(QELCOM_CHECK_CLASS)
#undef QELCOM_CHECK_CLASS

}  // namespace

#define QELCOM_EXPORT extern "C" __attribute__((visibility("default")))

QELCOM_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return Classes::GetClassObject(rclsid, riid, ppv);
}

QELCOM_EXPORT HRESULT DllCanUnloadNow() { return comrt::CanUnloadNow(); }

QELCOM_EXPORT HRESULT DllRegisterServer() { return quorlink::RegisterServer(); }

QELCOM_EXPORT HRESULT DllUnregisterServer() { return quorlink::UnregisterServer(); }
