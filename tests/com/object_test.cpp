#include <gtest/gtest.h>

#include <thread>

#include "sink.h"
#include "widget.h"

namespace {

using comrt::ComPtr;
using comrt::Variant;

// Builds DISPPARAMS from arguments given in declared order.
struct Args {
  std::vector<Variant> reversed;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  explicit Args(std::vector<Variant> inOrder, bool setter = false) : reversed(inOrder.rbegin(), inOrder.rend()) {
    params = {reversed.data(), setter ? &put : nullptr, static_cast<UINT>(reversed.size()), setter ? 1u : 0u};
  }
};

HRESULT Call(IDispatch* d, DISPID id, WORD flags, Args& args, VARIANT* result = nullptr, UINT* argErr = nullptr,
             EXCEPINFO* excep = nullptr) {
  return d->Invoke(id, IID_NULL, 0, flags, &args.params, result, excep, argErr);
}

DISPID IdOf(IDispatch* d, const char16_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 0;
  return d->GetIDsOfNames(IID_NULL, names, 1, 0, &id) == S_OK ? id : DISPID_UNKNOWN;
}

class ObjectTest : public ::testing::Test {
 protected:
  ComPtr<Widget> widget = comrt::Make<Widget>();
  _Widget* early = widget.get();
  IDispatch* late = widget.get();
};

TEST_F(ObjectTest, ClientsCallMembersByVtablePosition) {
  ASSERT_EQ(early->put_Level(5), S_OK);
  // A client that knows only the slots: IUnknown 0-2, IDispatch 3-6, then the list.
  void** vtable = *reinterpret_cast<void***>(early);
  using GetShort = HRESULT (*)(void*, short*);
  using PutByteByte = HRESULT (*)(void*, BYTE, BYTE);
  short level = 0;
  ASSERT_EQ(reinterpret_cast<GetShort>(vtable[7])(early, &level), S_OK);
  EXPECT_EQ(level, 5);
  ASSERT_EQ(reinterpret_cast<PutByteByte>(vtable[13])(early, 0x90, 0x55), S_OK);
  EXPECT_EQ(widget->lastAddress, 0x90);
  EXPECT_EQ(widget->lastData, 0x55);
  using QueryInterface = HRESULT (*)(void*, REFIID, void**);
  void* dispatch = nullptr;
  ASSERT_EQ(reinterpret_cast<QueryInterface>(vtable[0])(early, IID_IDispatch, &dispatch), S_OK);
  EXPECT_EQ(dispatch, static_cast<void*>(early)) << "the default interface is the IDispatch";
  static_cast<IUnknown*>(dispatch)->Release();
}

TEST_F(ObjectTest, QueryInterfaceAnswersItsInterfacesWithOneIdentity) {
  const IID answered[] = {IID_IUnknown, IID_IDispatch, IID__Widget, IID_ISupportErrorInfo,
                          IID_IConnectionPointContainer};
  ComPtr<IUnknown> identity = widget.As<IUnknown>();
  for (const IID& iid : answered) {
    ComPtr<IUnknown> p;
    ASSERT_EQ(early->QueryInterface(iid, reinterpret_cast<void**>(p.put())), S_OK) << comrt::ToString(iid);
    EXPECT_EQ(p.As<IUnknown>().get(), identity.get());
  }
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(early->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(early->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ObjectTest, LateBoundByNameInAnyCase) {
  EXPECT_EQ(IdOf(late, u"level"), 0x68030000);
  EXPECT_EQ(IdOf(late, u"LEVEL"), 0x68030000);
  EXPECT_EQ(IdOf(late, u"sCaLe"), 0x60030001);
  EXPECT_EQ(IdOf(late, u"Levels"), DISPID_UNKNOWN);

  LPOLESTR names[] = {const_cast<LPOLESTR>(u"scale"), const_cast<LPOLESTR>(u"COUNT"), const_cast<LPOLESTR>(u"nope")};
  DISPID ids[3];
  EXPECT_EQ(late->GetIDsOfNames(IID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 0x60030001);
  EXPECT_EQ(ids[1], 1);
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);

  Args put({Variant("12")}, true);
  ASSERT_EQ(Call(late, IdOf(late, u"level"), DISPATCH_PROPERTYPUT, put), S_OK);
  EXPECT_EQ(widget->level, 12);
  Args none({});
  Variant result;
  ASSERT_EQ(Call(late, 0x68030000, DISPATCH_PROPERTYGET | DISPATCH_METHOD, none, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I2);
  EXPECT_EQ(result.iVal, 12);

  Args scale({Variant("2.5"), Variant(2.5)});  // Count 2.5 rounds to 2
  ASSERT_EQ(Call(late, 0x60030001, DISPATCH_METHOD, scale, &result), S_OK);
  EXPECT_EQ(result.vt, VT_R4);
  EXPECT_EQ(result.fltVal, 5.0f);

  Args describe({Variant(LONG{7})});
  ASSERT_EQ(Call(late, 0x60030006, DISPATCH_METHOD, describe, &result), S_OK);
  EXPECT_EQ(comrt::ToText(result), u"value 7");
}

TEST_F(ObjectTest, BooleansKeepTheirTypeApartFromShort) {
  Args put({Variant(LONG{5})}, true);
  ASSERT_EQ(Call(late, 0x68030001, DISPATCH_PROPERTYPUT, put), S_OK);
  EXPECT_EQ(widget->enabled, VARIANT_TRUE) << "coerced to VT_BOOL, not VT_I2";
  ASSERT_EQ(early->put_Enabled(1), S_OK);
  Args none({});
  Variant result;
  ASSERT_EQ(Call(late, 0x68030001, DISPATCH_PROPERTYGET, none, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, 1) << "stored unchanged";
}

TEST_F(ObjectTest, DispatchErrors) {
  struct Case {
    const char* name;
    DISPID id;
    WORD flags;
    std::vector<Variant> args;
    bool setter;
    HRESULT hr;
    UINT argErr;
  };
  const Case cases[] = {
      {"unknown dispid", 0x60039999, DISPATCH_METHOD, {}, false, DISP_E_MEMBERNOTFOUND, 99},
      {"method called as a put", 0x60030000, DISPATCH_PROPERTYPUT, {Variant(SHORT{1})}, true, DISP_E_MEMBERNOTFOUND, 99},
      {"put of a get-only kind", 0x68030002, DISPATCH_PROPERTYPUT, {Variant(SHORT{1})}, true, DISP_E_MEMBERNOTFOUND, 99},
      {"too few", 0x60030000, DISPATCH_METHOD, {Variant(SHORT{1})}, false, DISP_E_BADPARAMCOUNT, 99},
      {"too many", 0x60030000, DISPATCH_METHOD, {Variant(SHORT{1}), Variant(SHORT{1}), Variant(SHORT{1})}, false,
       DISP_E_BADPARAMCOUNT, 99},
      {"first not a number", 0x60030000, DISPATCH_METHOD, {Variant("x"), Variant(SHORT{1})}, false,
       DISP_E_TYPEMISMATCH, 1},
      {"second overflows", 0x60030000, DISPATCH_METHOD, {Variant(SHORT{1}), Variant(255.5)}, false, DISP_E_OVERFLOW,
       0},
      {"empty for a byte is 0", 0x60030000, DISPATCH_METHOD, {Variant(SHORT{1}), Variant()}, false, S_OK, 99},
      {"property value named for a method", 0x60030000, DISPATCH_METHOD, {Variant(SHORT{1}), Variant(SHORT{1})}, true,
       DISP_E_PARAMNOTFOUND, 0},
      {"not an object for putref", 0x68030002, DISPATCH_PROPERTYPUTREF, {Variant(SHORT{1})}, true,
       DISP_E_TYPEMISMATCH, 0},
  };
  for (const auto& c : cases) {
    Args args(c.args, c.setter);
    UINT argErr = 99;
    widget->sends = 0;
    EXPECT_EQ(Call(late, c.id, c.flags, args, nullptr, &argErr), c.hr) << c.name;
    EXPECT_EQ(argErr, c.argErr) << c.name;
    if (FAILED(c.hr)) {
      EXPECT_EQ(widget->sends, 0) << c.name << ": the member did not run";
    }
  }
  Args none({});
  EXPECT_EQ(late->Invoke(0x68030000, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &none.params, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(ObjectTest, MemberErrorsReachTheCaller) {
  // Early-bound: the HRESULT and the thread's error information.
  EXPECT_EQ(early->Fail(53), static_cast<HRESULT>(0x800A0035));
  ComPtr<ISupportErrorInfo> support = widget.As<ISupportErrorInfo>();
  ASSERT_TRUE(support);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__Widget), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  comrt::Bstr description, source;
  info->GetDescription(description.put());
  info->GetSource(source.put());
  EXPECT_EQ(description.utf8(), "Widget failed");
  EXPECT_EQ(source.utf8(), "Test.Widget");

  // Late-bound: DISP_E_EXCEPTION with the member's error in EXCEPINFO.
  Args fail({Variant(SHORT{6})});
  EXCEPINFO excep{};
  EXPECT_EQ(Call(late, 0x60030004, DISPATCH_METHOD, fail, nullptr, nullptr, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, static_cast<HRESULT>(0x800A0006));
  EXPECT_EQ(comrt::Bstr::Adopt(excep.bstrDescription).utf8(), "Widget failed");
  EXPECT_EQ(comrt::Bstr::Adopt(excep.bstrSource).utf8(), "Test.Widget");
  EXPECT_EQ(Call(late, 0x60030004, DISPATCH_METHOD, fail), static_cast<HRESULT>(0x800A0006))
      << "without EXCEPINFO, the member's own HRESULT";
}

TEST_F(ObjectTest, NullOutPointersAreRefused) {
  EXPECT_EQ(early->get_Level(nullptr), E_POINTER);
  EXPECT_EQ(early->Scale(1, 1, nullptr), E_POINTER);
  EXPECT_EQ(early->Describe(1, nullptr), E_POINTER);
  EXPECT_EQ(early->putref_Child(nullptr), E_POINTER);
  EXPECT_EQ(early->Bump(nullptr), E_POINTER);
  EXPECT_EQ(late->GetTypeInfoCount(nullptr), E_POINTER);
  EXPECT_EQ(late->GetTypeInfo(0, 0, nullptr), E_POINTER);
  // A result the caller does not want is dropped, not written through null.
  Args none({});
  EXPECT_EQ(Call(late, 0x60030006, DISPATCH_METHOD, none), DISP_E_BADPARAMCOUNT);
  Args describe({Variant(LONG{1})});
  EXPECT_EQ(Call(late, 0x60030006, DISPATCH_METHOD, describe), S_OK);
}

TEST_F(ObjectTest, CallsFromAnotherThreadAreRefusedAndChangeNothing) {
  early->put_Level(5);
  HRESULT put = S_OK, invoke = S_OK, advise = S_OK;
  std::thread([&] {
    put = early->put_Level(9);
    Args args({Variant(SHORT{9})}, true);
    invoke = Call(late, 0x68030000, DISPATCH_PROPERTYPUT, args);
    ComPtr<IConnectionPoint> point;
    widget->FindConnectionPoint(IID___Widget, point.put());
    DWORD cookie = 0;
    auto sink = ComPtr<RecordingSink>::Adopt(new RecordingSink);
    advise = point->Advise(sink.get(), &cookie);
  }).join();
  EXPECT_EQ(put, RPC_E_WRONG_THREAD);
  EXPECT_EQ(invoke, RPC_E_WRONG_THREAD);
  EXPECT_EQ(advise, RPC_E_WRONG_THREAD);
  EXPECT_EQ(widget->level, 5);
}

TEST_F(ObjectTest, ByReferenceArgumentsReachTheCallersVariable) {
  float data = 2.0f;
  Variant ref;
  ref.vt = VT_BYREF | VT_R4;
  ref.pfltVal = &data;
  Args byRef({ref});
  ASSERT_EQ(Call(late, 0x60030002, DISPATCH_METHOD, byRef), S_OK);
  EXPECT_EQ(data, 3.0f);
  Args byValue({Variant(2.0)});
  EXPECT_EQ(Call(late, 0x60030002, DISPATCH_METHOD, byValue), S_OK) << "a value of another type is coerced";
  Variant inner(SHORT{4});
  Variant refVariant;
  refVariant.vt = VT_BYREF | VT_VARIANT;
  refVariant.pvarVal = &inner;
  Args echo({refVariant});
  Variant result;
  ASSERT_EQ(Call(late, 0x60030003, DISPATCH_METHOD, echo, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I2);
  EXPECT_EQ(result.iVal, 4);
}

TEST_F(ObjectTest, ArgumentsOfEveryIntegerTypeReferredThroughVariantsOrLeftOut) {
  auto refTo = [](VARTYPE vt, void* target) {
    Variant v;
    v.vt = VT_BYREF | vt;
    v.byref = target;
    return v;
  };
  auto typed = [](VARTYPE vt, int64_t bits) {
    Variant v;
    v.vt = vt;
    v.llVal = bits;
    return v;
  };
  Variant omitted;
  omitted.vt = VT_ERROR;
  omitted.scode = DISP_E_PARAMNOTFOUND;
  Variant otherError;
  otherError.vt = VT_ERROR;
  otherError.scode = E_FAIL;
  // Variants referring to variants that hold references to the caller's values.
  LONG seven = 7;
  double factor = 1.5;
  SHORT three = 3;
  float data = 2;
  comrt::Bstr text("abc");
  BSTR textValue = text.get();
  Variant sevenRef = refTo(VT_I4, &seven), factorRef = refTo(VT_R8, &factor), threeRef = refTo(VT_I2, &three),
          dataRef = refTo(VT_R4, &data), textRef = refTo(VT_BSTR, &textValue), innerVariant(SHORT{4}),
          variantRef = refTo(VT_VARIANT, &innerVariant);
  const DISPID describe = 0x60030006, scale = 0x60030001, echo = 0x60030003, bump = 0x60030002, child = 0x68030002,
               level = 0x68030000;
  struct Case {
    const char* name;
    DISPID id;
    WORD flags;
    std::vector<Variant> args;  // in declared order
    HRESULT hr;
    UINT argErr;              // when the call is refused
    const char16_t* result;   // the result's text, when the call succeeds
  };
  const Case cases[] = {
      {"I4 through a variant", describe, DISPATCH_METHOD, {refTo(VT_VARIANT, &sevenRef)}, S_OK, 0, u"value 7"},
      {"R8 and I2 through variants", scale, DISPATCH_METHOD,
       {refTo(VT_VARIANT, &factorRef), refTo(VT_VARIANT, &threeRef)}, S_OK, 0, u"4.5"},
      {"text through a variant", echo, DISPATCH_METHOD, {refTo(VT_VARIANT, &textRef)}, S_OK, 0, u"abc"},
      {"float by reference through a variant", bump, DISPATCH_METHOD, {refTo(VT_VARIANT, &dataRef)}, S_OK, 0,
       nullptr},
      {"a variant reference too deep", describe, DISPATCH_METHOD, {refTo(VT_VARIANT, &variantRef)},
       DISP_E_TYPEMISMATCH, 0, nullptr},
      {"UI8", describe, DISPATCH_METHOD, {typed(VT_UI8, 7)}, S_OK, 0, u"value 7"},
      {"I8 at the bottom of LONG", describe, DISPATCH_METHOD, {typed(VT_I8, INT32_MIN)}, S_OK, 0,
       u"value -2147483648"},
      {"I8 beyond LONG", describe, DISPATCH_METHOD, {typed(VT_I8, 1ll << 31)}, DISP_E_OVERFLOW, 0, nullptr},
      {"UINT beyond LONG", describe, DISPATCH_METHOD, {typed(VT_UINT, 4000000000)}, DISP_E_OVERFLOW, 0, nullptr},
      {"LONG to float and I1 to LONG", scale, DISPATCH_METHOD, {typed(VT_INT, 2), typed(VT_I1, -3)}, S_OK, 0,
       u"-6"},
      {"left out", describe, DISPATCH_METHOD, {omitted}, DISP_E_PARAMNOTOPTIONAL, 0, nullptr},
      {"second left out", scale, DISPATCH_METHOD, {Variant(1.5), omitted}, DISP_E_PARAMNOTOPTIONAL, 0, nullptr},
      {"first left out", scale, DISPATCH_METHOD, {omitted, Variant(SHORT{3})}, DISP_E_PARAMNOTOPTIONAL, 1, nullptr},
      {"VARIANT left out", echo, DISPATCH_METHOD, {omitted}, DISP_E_PARAMNOTOPTIONAL, 0, nullptr},
      {"by reference left out", bump, DISPATCH_METHOD, {omitted}, DISP_E_PARAMNOTOPTIONAL, 0, nullptr},
      {"object left out", child, DISPATCH_PROPERTYPUTREF, {omitted}, DISP_E_PARAMNOTOPTIONAL, 0, nullptr},
      {"property value left out", level, DISPATCH_PROPERTYPUT, {omitted}, DISP_E_PARAMNOTOPTIONAL, 0, nullptr},
      {"an error value that is no omission", describe, DISPATCH_METHOD, {otherError}, DISP_E_TYPEMISMATCH, 0,
       nullptr},
  };
  for (const auto& c : cases) {
    const bool setter = c.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    Args args(c.args, setter);
    Variant result;
    UINT argErr = 99;
    widget->level = 5;
    EXPECT_EQ(Call(late, c.id, c.flags, args, &result, &argErr), c.hr) << c.name;
    if (FAILED(c.hr)) {
      EXPECT_EQ(argErr, c.argErr) << c.name;
      EXPECT_EQ(widget->level, 5) << c.name << ": the member did not run";
    } else if (c.result) {
      EXPECT_EQ(comrt::ToText(result), c.result) << c.name;
    }
  }
  Args describeOmitted({omitted});
  Call(late, describe, DISPATCH_METHOD, describeOmitted);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  comrt::Bstr description;
  info->GetDescription(description.put());
  EXPECT_EQ(description.utf8(), "Argument not optional in a call of Describe");
}

TEST_F(ObjectTest, ObjectPropertiesTakeAndGiveReferences) {
  ComPtr<Widget> other = comrt::Make<Widget>();
  Args set({Variant(static_cast<IDispatch*>(other.get()))}, true);
  ASSERT_EQ(Call(late, 0x68030002, DISPATCH_PROPERTYPUTREF, set), S_OK);
  EXPECT_EQ(widget->child.get(), static_cast<_Widget*>(other.get()));
  Args none({});
  Variant result;
  ASSERT_EQ(Call(late, 0x68030002, DISPATCH_PROPERTYGET, none, &result), S_OK);
  EXPECT_EQ(result.vt, VT_DISPATCH);
  EXPECT_EQ(result.pdispVal, static_cast<IDispatch*>(other.get()));

  auto stranger = ComPtr<RecordingSink>::Adopt(new RecordingSink);
  Args wrong({Variant(static_cast<IDispatch*>(stranger.get()))}, true);
  UINT argErr = 9;
  EXPECT_EQ(Call(late, 0x68030002, DISPATCH_PROPERTYPUTREF, wrong, nullptr, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);

  Args nothing({Variant(static_cast<IDispatch*>(nullptr))}, true);
  ASSERT_EQ(Call(late, 0x68030002, DISPATCH_PROPERTYPUTREF, nothing), S_OK);
  EXPECT_FALSE(widget->child);
}

TEST(Creation, FailingConstructorFailsCleanlyAndCountsStayRight) {
  const long before = comrt::ModuleCounts::objects;
  Widget::failConstruction = 53;
  EXPECT_THROW(comrt::Make<Widget>(), comrt::Error);
  EXPECT_EQ(comrt::ModuleCounts::objects, before);

  ComPtr<IClassFactory> factory;
  EXPECT_EQ(comrt::CanUnloadNow(), S_OK);
  ASSERT_EQ(comrt::GetClassObject<Widget>(CLSID_Widget, IID_IClassFactory, reinterpret_cast<void**>(factory.put())),
            S_OK);
  EXPECT_EQ(comrt::CanUnloadNow(), S_FALSE) << "a factory a client holds keeps the module loaded";
  const long withFactory = comrt::ModuleCounts::objects;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID__Widget, &out), static_cast<HRESULT>(0x800A0035));
  EXPECT_EQ(out, nullptr);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  comrt::Bstr description;
  info->GetDescription(description.put());
  EXPECT_EQ(description.utf8(), "Widget cannot be made");
  EXPECT_EQ(comrt::ModuleCounts::objects, withFactory);
  Widget::failConstruction = 0;

  EXPECT_EQ(factory->CreateInstance(factory.get(), IID__Widget, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID__Widget, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(comrt::ModuleCounts::objects, withFactory);

  ComPtr<_Widget> made;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID__Widget, reinterpret_cast<void**>(made.put())), S_OK);
  factory->LockServer(TRUE);
  factory.reset();
  EXPECT_EQ(comrt::ModuleCounts::objects, before + 1) << "the object alone";
  made.reset();
  EXPECT_EQ(comrt::CanUnloadNow(), S_FALSE) << "the server lock alone";
  IClassFactory* again = comrt::ClassFactory<Widget>::Instance();
  again->LockServer(FALSE);
  EXPECT_EQ(comrt::CanUnloadNow(), S_OK);
  EXPECT_EQ(again->Release(), 0u) << "a surplus release changes nothing";
  EXPECT_EQ(comrt::CanUnloadNow(), S_OK);

  EXPECT_EQ(comrt::GetClassObject<Widget>(IID__Widget, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
}

class EventTest : public ObjectTest {
 protected:
  ComPtr<IConnectionPoint> point;
  void SetUp() override {
    ComPtr<IConnectionPointContainer> container = widget.As<IConnectionPointContainer>();
    ASSERT_EQ(container->FindConnectionPoint(IID___Widget, point.put()), S_OK);
  }
  ComPtr<RecordingSink> Subscribe(DWORD& cookie) {
    auto sink = ComPtr<RecordingSink>::Adopt(new RecordingSink);
    EXPECT_EQ(point->Advise(sink.get(), &cookie), S_OK);
    return sink;
  }
};

TEST_F(EventTest, RaisedToEverySinkInTurnEvenWhenOneFails) {
  DWORD first = 0, second = 0;
  ComPtr<RecordingSink> failing = Subscribe(first);
  ComPtr<RecordingSink> healthy = Subscribe(second);
  failing->answer = E_FAIL;
  EXPECT_NE(first, second);
  ASSERT_EQ(early->Notify(7, comrt::Bstr("hi").get()), S_OK) << "a failing sink does not fail the raiser";
  for (RecordingSink* sink : {failing.get(), healthy.get()}) {
    ASSERT_EQ(sink->calls.size(), 1u);
    const auto& call = sink->calls[0];
    EXPECT_EQ(call.dispid, 1);
    EXPECT_EQ(call.flags, DISPATCH_METHOD);
    ASSERT_EQ(call.args.size(), 2u);
    EXPECT_EQ(call.args[0].vt, VT_I2);
    EXPECT_EQ(call.args[0].iVal, 7);
    EXPECT_EQ(call.args[1].vt, VT_BSTR);
    EXPECT_EQ(comrt::ToText(call.args[1]), u"hi") << "each sink gets its own arguments";
  }
  EXPECT_EQ(point->Unadvise(first), S_OK);
  early->Notify(8, nullptr);
  EXPECT_EQ(failing->calls.size(), 1u);
  EXPECT_EQ(healthy->calls.size(), 2u);
}

TEST_F(EventTest, SinkThatUnsubscribesWhileCalled) {
  DWORD first = 0, second = 0;
  ComPtr<RecordingSink> leaving = Subscribe(first);
  ComPtr<RecordingSink> staying = Subscribe(second);
  leaving->during = [&] { point->Unadvise(first); };
  early->Notify(1, nullptr);
  EXPECT_EQ(staying->calls.size(), 1u);
  early->Notify(2, nullptr);
  EXPECT_EQ(leaving->calls.size(), 1u);
  EXPECT_EQ(staying->calls.size(), 2u);
}

TEST_F(EventTest, HandlerThatDropsTheLastReferenceToTheSource) {
  DWORD cookie = 0;
  ComPtr<RecordingSink> sink = Subscribe(cookie);
  _Widget* raw = widget.detach();
  point.reset();
  // The client lets go of the source from inside the handler; the raising member
  // must still finish on a live object (the sanitizer build checks it).
  sink->during = [&] {
    if (raw) std::exchange(raw, nullptr)->Release();
  };
  EXPECT_EQ(early->Notify(3, nullptr), S_OK);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(sink->calls.size(), 1u);
}

TEST_F(EventTest, AdviseAndUnadviseRefuseBadInput) {
  DWORD cookie = 5;
  EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
  auto sink = ComPtr<RecordingSink>::Adopt(new RecordingSink);
  EXPECT_EQ(point->Advise(sink.get(), nullptr), E_POINTER);
  ComPtr<IClassFactory> notASink;
  comrt::GetClassObject<Widget>(CLSID_Widget, IID_IClassFactory, reinterpret_cast<void**>(notASink.put()));
  EXPECT_EQ(point->Advise(notASink.get(), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(12345), CONNECT_E_NOCONNECTION);
  DWORD good = 0;
  point->Advise(sink.get(), &good);
  EXPECT_EQ(point->Unadvise(good), S_OK);
  EXPECT_EQ(point->Unadvise(good), CONNECT_E_NOCONNECTION) << "twice";

  ComPtr<IConnectionPoint> none;
  EXPECT_EQ(widget->FindConnectionPoint(IID__Widget, none.put()), CONNECT_E_NOCONNECTION);
  IID iid{};
  point->GetConnectionInterface(&iid);
  EXPECT_TRUE(iid == IID___Widget);
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(point->GetConnectionPointContainer(container.put()), S_OK);
  EXPECT_EQ(container.As<IUnknown>().get(), widget.As<IUnknown>().get());
}

TEST_F(EventTest, EnumeratesPointsAndConnections) {
  DWORD cookie = 0;
  ComPtr<RecordingSink> sink = Subscribe(cookie);
  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
  CONNECTDATA data[2]{};
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(2, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(data[0].dwCookie, cookie);
  data[0].pUnk->Release();
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(widget->EnumConnectionPoints(points.put()), S_OK);
  IConnectionPoint* listed = nullptr;
  ASSERT_EQ(points->Next(1, &listed, nullptr), S_OK);
  EXPECT_EQ(listed, point.get());
  listed->Release();
}

}  // namespace
