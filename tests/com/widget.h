// A small class declared and built the way the server's classes are, for the
// runtime's tests and its fuzzer.
#pragma once
#include <string>

#include "com/factory.h"
#include "com/variant.h"

struct _Widget;

#define TEST_MEMBERS__Widget(M)                                           \
  M(PROPGET, Level, 0x68030000, (short* retval))                          \
  M(PROPPUT, Level, 0x68030000, (short value))                            \
  M(PROPGET, Enabled, 0x68030001, (VARIANT_BOOL * retval))                \
  M(PROPPUT, Enabled, 0x68030001, (VARIANT_BOOL value))                   \
  M(PROPGET, Child, 0x68030002, (_Widget * *retval))                      \
  M(PROPPUTREF, Child, 0x68030002, (_Widget * *value))                    \
  M(METHOD, Send, 0x60030000, (BYTE Address, BYTE Data))                  \
  M(METHOD, Scale, 0x60030001, (float Factor, LONG Count, float* retval)) \
  M(METHOD, Bump, 0x60030002, (float* Data))                              \
  M(METHOD, Echo, 0x60030003, (VARIANT Data, VARIANT* retval))            \
  M(METHOD, Fail, 0x60030004, (short Number))                             \
  M(METHOD, Notify, 0x60030005, (short Number, BSTR Text))                \
  M(METHOD, Describe, 0x60030006, (LONG Value, BSTR* retval))

#define TEST_EVENTS___Widget(M)                                          \
  M(METHOD, Happened, 1, (short ErrorNumber, BSTR ErrorDescription))     \
  M(METHOD, Never, 2, ())

COM_DUAL_INTERFACE(_Widget, "{6A1C2F3E-0B7D-4C55-9E21-3F0A6B1D2C44}", TEST_MEMBERS__Widget)
COM_DISPINTERFACE(__Widget, "{6A1C2F3E-0B7D-4C55-9E21-3F0A6B1D2C45}", TEST_EVENTS___Widget)
COM_CLASS_ID(Widget, "{6A1C2F3E-0B7D-4C55-9E21-3F0A6B1D2C46}")

class Widget final : public comrt::Object<Widget, _Widget, __Widget> {
 public:
  static constexpr const CLSID& kClsid = CLSID_Widget;
  static constexpr const char* kErrorSource = "Test.Widget";
  // Set to make the next constructions fail with this error number.
  static inline int failConstruction = 0;

  Widget() {
    if (failConstruction) throw comrt::Error(failConstruction, "Widget cannot be made");
  }
  // As a class's destructor may, it goes through one of its own members.
  ~Widget() override { put_Level(0); }

  short level = 0;
  VARIANT_BOOL enabled = 0;
  comrt::ComPtr<_Widget> child;
  int sends = 0;
  int notified = 0;
  BYTE lastAddress = 0, lastData = 0;

  HRESULT get_Level(short* retval) override {
    return Call([&] { *comrt::Out(retval) = level; });
  }
  HRESULT put_Level(short value) override {
    return Call([&] { level = value; });
  }
  HRESULT get_Enabled(VARIANT_BOOL* retval) override {
    return Call([&] { *comrt::Out(retval) = enabled; });
  }
  HRESULT put_Enabled(VARIANT_BOOL value) override {
    return Call([&] { enabled = value; });
  }
  HRESULT get_Child(_Widget** retval) override {
    return Call([&] { *comrt::Out(retval) = comrt::ComPtr<_Widget>(child).detach(); });
  }
  HRESULT putref_Child(_Widget** value) override {
    return Call([&] { child = *comrt::Out(value); });
  }
  HRESULT Send(BYTE Address, BYTE Data) override {
    return Call([&] {
      ++sends;
      lastAddress = Address;
      lastData = Data;
    });
  }
  HRESULT Scale(float Factor, LONG Count, float* retval) override {
    return Call([&] { *comrt::Out(retval) = Factor * static_cast<float>(Count); });
  }
  HRESULT Bump(float* Data) override {
    return Call([&] { *comrt::Out(Data) += 1; });
  }
  HRESULT Echo(VARIANT Data, VARIANT* retval) override {
    return Call([&] {
      if (FAILED(VariantCopy(comrt::Out(retval), &Data))) throw std::bad_alloc();
    });
  }
  HRESULT Fail(short Number) override {
    return Call([&] { throw comrt::Error(Number, "Widget failed"); });
  }
  HRESULT Notify(short Number, BSTR Text) override {
    return Call([&] {
      Raise(__Widget::dispid_Happened, Number, std::u16string_view(Text ? Text : u"", SysStringLen(Text)));
      ++notified;
    });
  }
  HRESULT Describe(LONG Value, BSTR* retval) override {
    return Call([&] {
      BSTR* out = comrt::Out(retval);
      *out = comrt::AllocBstr("value " + std::to_string(Value));
    });
  }
};
