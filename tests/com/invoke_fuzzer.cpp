// libFuzzer target: IDispatch::Invoke on the test class with arguments of every
// type and shape a client can pass, and VariantChangeType between any two types.
// Each input is a list of calls; the sanitizers and the leak check do the judging.
// An input that starts with 0xFF, or is a type library file itself (the build
// writes them: seed the corpus with them), is instead read as type library
// bytes, and what loads is listed member by member, in both views of a dual
// interface.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "com/typelib.h"
#include "sink.h"
#include "widget.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : p_(data), left_(size) {}
  bool empty() const { return left_ == 0; }
  uint8_t Byte() {
    if (left_ == 0) return 0;
    --left_;
    return *p_++;
  }
  uint32_t Word() { return Byte() | Byte() << 8 | Byte() << 16 | static_cast<uint32_t>(Byte()) << 24; }
  double Double() {
    uint64_t bits = Word() | static_cast<uint64_t>(Word()) << 32;
    double d;
    __builtin_memcpy(&d, &bits, sizeof d);
    return d;
  }
  float Single() {
    const uint32_t bits = Word();
    float f;
    __builtin_memcpy(&f, &bits, sizeof f);
    return f;
  }
  std::u16string Text() {
    std::u16string s;
    for (uint8_t n = Byte() % 12; n > 0; --n) {
      const uint8_t c = Byte();
      // Mostly the characters of numbers and Boolean words, sometimes anything.
      static const char16_t common[] = u"0123456789+-.eE &HTrueFalse\t";
      s.push_back(c < 200 ? common[c % (sizeof common / 2 - 1)] : static_cast<char16_t>(c * 131));
    }
    return s;
  }

 private:
  const uint8_t* p_;
  size_t left_;
};

// Storage that by-reference and array arguments point into; lives for one call.
struct Storage {
  std::vector<comrt::Variant> variants;
  float floats[8] = {};
  SHORT shorts[8] = {};
  BSTR strings[8] = {};
  IDispatch* objects[8] = {};
  int used = 0;
  Storage() { variants.reserve(64); }
  ~Storage() {
    for (BSTR s : strings) SysFreeString(s);
  }
};

comrt::ComPtr<Widget> g_other;
comrt::ComPtr<RecordingSink> g_stranger;

void MakeArg(Input& in, Storage& st, VARIANT& v, int depth);

void MakeScalar(Input& in, VARIANT& v, uint8_t kind) {
  switch (kind % 17) {
    case 0: v.vt = VT_EMPTY; break;
    case 1: v.vt = VT_NULL; break;
    case 2: v.vt = VT_UI1, v.bVal = in.Byte(); break;
    case 3: v.vt = VT_I2, v.iVal = static_cast<SHORT>(in.Word()); break;
    case 4: v.vt = VT_I4, v.lVal = static_cast<LONG>(in.Word()); break;
    case 5: v.vt = VT_R4, v.fltVal = in.Single(); break;
    case 6: v.vt = VT_R8, v.dblVal = in.Double(); break;
    case 7: v.vt = VT_BOOL, v.boolVal = static_cast<VARIANT_BOOL>(in.Word()); break;
    case 8: v.vt = VT_BSTR, v.bstrVal = comrt::AllocBstr(in.Text()); break;
    case 9: {
      const uint8_t which = in.Byte() % 3;
      v.vt = VT_DISPATCH;
      v.pdispVal = which == 0 ? nullptr : which == 1 ? static_cast<IDispatch*>(g_other.get()) : g_stranger.get();
      if (v.pdispVal) v.pdispVal->AddRef();
      break;
    }
    case 10:  // often the argument a caller leaves out
      v.vt = VT_ERROR, v.scode = in.Byte() & 1 ? DISP_E_PARAMNOTFOUND : static_cast<SCODE>(in.Word());
      break;
    case 11: {
      static const VARTYPE integers[] = {VT_I1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT};
      v.vt = integers[in.Byte() % std::size(integers)];
      v.llVal = static_cast<LONGLONG>(in.Word() | static_cast<uint64_t>(in.Word()) << 32);
      break;
    }
    case 12: v.vt = VT_UNKNOWN, v.punkVal = nullptr; break;
    case 13: v.vt = VT_CY, v.cyVal.int64 = static_cast<LONGLONG>(in.Word() | static_cast<uint64_t>(in.Word()) << 32); break;
    case 14: v.vt = VT_DATE, v.date = in.Double(); break;
    case 15: {
      // Any type bits at all. One that is no valid type carries a pointer that
      // must never be followed (the sanitizer stops at once if it is).
      v.vt = static_cast<VARTYPE>(in.Word());
      if (!comrt::IsValidVartype(v.vt)) v.byref = reinterpret_cast<void*>(0x10);
      break;
    }
    default: v.vt = static_cast<VARTYPE>(in.Word() & 0x0FFF);  // any type number, no payload
  }
}

void MakeArg(Input& in, Storage& st, VARIANT& v, int depth) {
  VariantInit(&v);
  const uint8_t shape = in.Byte();
  const int slot = st.used++ % 8;
  switch (shape % 8) {
    case 0:
    case 1:
    case 2:
    case 3:
      MakeScalar(in, v, in.Byte());
      break;
    case 4:  // a reference to a float, a short, a string or an object of the caller
      switch (in.Byte() % 4) {
        case 0: st.floats[slot] = in.Single(), v.vt = VT_BYREF | VT_R4, v.pfltVal = &st.floats[slot]; break;
        case 1: st.shorts[slot] = static_cast<SHORT>(in.Word()), v.vt = VT_BYREF | VT_I2, v.piVal = &st.shorts[slot]; break;
        case 2:
          SysFreeString(st.strings[slot]);
          st.strings[slot] = comrt::AllocBstr(in.Text());
          v.vt = VT_BYREF | VT_BSTR, v.pbstrVal = &st.strings[slot];
          break;
        default: st.objects[slot] = g_other.get(), v.vt = VT_BYREF | VT_DISPATCH, v.ppdispVal = &st.objects[slot];
      }
      break;
    case 5:  // a reference to a variant (which may itself be a reference, once followed, twice refused)
      if (depth < 2) {
        st.variants.emplace_back();
        MakeArg(in, st, st.variants.back(), depth + 1);
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = &st.variants.back();
      }
      break;
    case 6: {  // an array of 16-bit integers or of variants
      const bool ofVariants = in.Byte() & 1;
      const ULONG count = in.Byte() % 5;
      SAFEARRAY* psa = SafeArrayCreateVector(ofVariants ? VT_VARIANT : VT_I2, static_cast<LONG>(in.Byte()) - 2, count);
      for (ULONG i = 0; i < count; ++i) {
        LONG at = psa->rgsabound[0].lLbound + static_cast<LONG>(i);
        if (ofVariants) {
          comrt::Variant element;
          if (depth < 2) MakeArg(in, st, element, depth + 1);
          if (element.vt & VT_BYREF) VariantInit(&element);  // an array owns its elements
          SafeArrayPutElement(psa, &at, &element);
        } else {
          SHORT s = static_cast<SHORT>(in.Word());
          SafeArrayPutElement(psa, &at, &s);
        }
      }
      v.vt = VT_ARRAY | (ofVariants ? VT_VARIANT : VT_I2);
      v.parray = psa;
      break;
    }
    default: MakeScalar(in, v, 8); break;
  }
}

void OneInvoke(Input& in) {
  static const DISPID known[] = {0x68030000, 0x68030001, 0x68030002, 0x60030000, 0x60030001, 0x60030002,
                                 0x60030003, 0x60030004, 0x60030005, 0x60030006, 0x60039999, DISPID_VALUE};
  const uint8_t pick = in.Byte();
  const DISPID dispid = pick < 240 ? known[pick % 12] : static_cast<DISPID>(in.Word());
  const WORD flags = static_cast<WORD>(in.Byte() % 16);
  const UINT cArgs = in.Byte() % 5;
  Storage st;
  std::vector<comrt::Variant> args(cArgs);
  for (UINT i = 0; i < cArgs; ++i) MakeArg(in, st, args[i], 0);
  // Names: parameter positions, the property value's, or anything.
  DISPID named[4];
  for (DISPID& id : named) {
    const uint8_t n = in.Byte();
    id = n < 96 ? n % 4 : n < 192 ? DISPID_PROPERTYPUT : static_cast<DISPID>(in.Word());
  }
  const uint8_t mode = in.Byte();
  const UINT cNamed = cArgs == 0 ? 0 : (mode >> 6) % (cArgs + 1);
  DISPPARAMS params{cArgs ? args.data() : nullptr, cNamed ? named : nullptr, cArgs, cNamed};
  comrt::Variant result;
  EXCEPINFO excep{};
  UINT argErr = 0;
  const HRESULT hr = g_other->Invoke(dispid, IID_NULL, 0, flags, &params, (mode & 8) ? &result : nullptr,
                                     (mode & 16) ? &excep : nullptr, (mode & 32) ? &argErr : nullptr);
  if (hr == DISP_E_EXCEPTION) {
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  const bool pointsAtAnArgument = hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_BADVARTYPE ||
                                  hr == DISP_E_PARAMNOTFOUND || hr == DISP_E_PARAMNOTOPTIONAL;
  if (FAILED(hr) && (mode & 32) && !pointsAtAnArgument && argErr != 0) __builtin_trap();
  if (pointsAtAnArgument && (mode & 32) && argErr >= cArgs) __builtin_trap();
}

void OneChangeType(Input& in) {
  Storage st;
  comrt::Variant source;
  MakeArg(in, st, source, 0);
  static const VARTYPE targets[] = {VT_EMPTY, VT_I1,   VT_UI1, VT_I2, VT_UI2,  VT_I4,   VT_UI4,      VT_I8,
                                    VT_UI8,   VT_INT,  VT_UINT, VT_R4, VT_R8,  VT_BOOL, VT_BSTR,     VT_CY,
                                    VT_DATE,  VT_DISPATCH, VT_UNKNOWN, VT_ARRAY | VT_I2, VT_VARIANT};
  const uint8_t pick = in.Byte();
  const VARTYPE to = pick < 240 ? targets[pick % std::size(targets)] : static_cast<VARTYPE>(in.Word());
  comrt::Variant dest;
  const HRESULT hr = VariantChangeType(&dest, &source, 0, to);
  if (SUCCEEDED(hr) && dest.vt != to) __builtin_trap();
  if (FAILED(hr) && dest.vt != VT_EMPTY) __builtin_trap();
  if (in.Byte() & 1) VariantChangeType(&source, &source, 0, to);  // in place
}

void OneLookup(Input& in) {
  std::u16string a = in.Text(), b = in.Text();
  LPOLESTR names[] = {a.data(), b.data()};
  DISPID ids[2];
  g_other->GetIDsOfNames(IID_NULL, names, 1 + (in.Byte() & 1), 0, ids);
}

void ListTypeInfo(ITypeInfo* info, bool descend) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) __builtin_trap();
  for (UINT k = 0; k < attr->cImplTypes; ++k) {
    HREFTYPE ref = 0;
    comrt::ComPtr<ITypeInfo> target;
    if (SUCCEEDED(info->GetRefTypeOfImplType(k, &ref))) info->GetRefTypeInfo(ref, target.put());
  }
  HREFTYPE vtable = 0;
  comrt::ComPtr<ITypeInfo> other;
  if (descend && SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable)) &&
      SUCCEEDED(info->GetRefTypeInfo(vtable, other.put())))
    ListTypeInfo(other.get(), false);
  for (UINT f = 0; f < attr->cFuncs; ++f) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(f, &desc))) __builtin_trap();
    BSTR names[4];
    UINT count = 0;
    if (SUCCEEDED(info->GetNames(desc->memid, names, 4, &count)))
      for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    for (SHORT p = -1; p < desc->cParams; ++p) {
      const TYPEDESC* t = p < 0 ? &desc->elemdescFunc.tdesc : &desc->lprgelemdescParam[p].tdesc;
      while (t->vt == VT_PTR || t->vt == VT_SAFEARRAY) {
        if (t->lptdesc == nullptr) __builtin_trap();
        t = t->lptdesc;
      }
      comrt::ComPtr<ITypeInfo> target;
      if (t->vt == VT_USERDEFINED) info->GetRefTypeInfo(t->hreftype, target.put());
    }
    info->ReleaseFuncDesc(desc);
  }
  info->ReleaseTypeAttr(attr);
}

void ListTypeLib(ITypeLib* lib) {
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    comrt::ComPtr<ITypeInfo> info;
    if (FAILED(lib->GetTypeInfo(i, info.put()))) __builtin_trap();
    ListTypeInfo(info.get(), true);
  }
}

void ListTypeLib(const uint8_t* data, size_t size) {
  comrt::ComPtr<ITypeLib> lib;
  if (SUCCEEDED(comrt::LoadTypeLibFromBytes(data, size, lib.put()))) ListTypeLib(lib.get());
}

// What an object hands out: its type information and the library holding it.
void OneTypeInfo() {
  comrt::ComPtr<ITypeInfo> info;
  comrt::ComPtr<ITypeLib> lib;
  if (FAILED(g_other->GetTypeInfo(0, 0, info.put())) || FAILED(info->GetContainingTypeLib(lib.put(), nullptr)))
    __builtin_trap();
  ListTypeLib(lib.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!g_other) {
    g_other = comrt::Make<Widget>();
    g_stranger = comrt::ComPtr<RecordingSink>::Adopt(new RecordingSink);
    comrt::ComPtr<IConnectionPoint> point;
    g_other->FindConnectionPoint(IID___Widget, point.put());
    DWORD cookie = 0;
    point->Advise(g_stranger.get(), &cookie);
  }
  if (size > 0 && data[0] == 0xFF) {
    ListTypeLib(data + 1, size - 1);
    return 0;
  }
  if (size >= 4 && data[0] == 'Q' && data[1] == 'T' && data[2] == 'L' && data[3] == 'B') {
    ListTypeLib(data, size);
    return 0;
  }
  Input in(data, size);
  for (int calls = 0; calls < 16 && !in.empty(); ++calls) {
    switch (in.Byte() % 8) {
      case 0:
      case 1:
      case 2:
      case 3: OneInvoke(in); break;
      case 4:
      case 5: OneChangeType(in); break;
      case 6: OneLookup(in); break;
      default: OneTypeInfo(); break;
    }
  }
  g_stranger->calls.clear();
  g_other->child.reset();
  SetErrorInfo(0, nullptr);
  return 0;
}
