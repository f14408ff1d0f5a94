// Declaring interfaces. One list of members drives the C++ vtable, the type
// information and IDispatch::Invoke:
//
//   #define MY_MEMBERS(M)  (each line but the last ending in a backslash)
//     M(PROPGET, Delay, 0x68030000, (float* retval))
//     M(PROPPUT, Delay, 0x68030000, (float value))
//     M(METHOD, Send, 0x60030000, (BYTE Address, BYTE Data))
//   COM_DUAL_INTERFACE(_Thing, "{...}", MY_MEMBERS)        // struct _Thing, IID__Thing
//   COM_DISPINTERFACE(__Thing, "{...}", MY_EVENTS)         // events; __Thing::dispid_<Name>
//   COM_CLASS_ID(Thing, "{...}")                           // CLSID_Thing
//
// A member is M(kind, name, dispid, (parameters)) with kind PROPGET, PROPPUT,
// PROPPUTREF or METHOD; its C++ name is get_name, put_name, putref_name or name, and
// it returns HRESULT. A last parameter named retval is the member's result; the
// single parameter of a setter is named value and has no name in the type
// information. Parameter types: BYTE, short, LONG, float, double, VARIANT_BOOL, BSTR,
// VARIANT, pointers to those (out or in/out), and I** for an interface I declared
// here. The type is taken from its spelling, so VARIANT_BOOL and short stay apart.
//
// comrt::InfoOf<I>() is the declaration's type information, built on first use.
#pragma once
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "com/error.h"
#include "com/typedata.h"

namespace comrt {

// What the macro records for one member; BuildType turns the list into TypeData.
struct MemberDecl {
  MemberKind kind;
  const char* name;
  DISPID dispid;
  const char* params;  // the parameter list as written, "(BYTE DeviceAddress, BYTE * retval)"
  CallThunk call;
  const TypeGetter* refs;  // per parameter: the declaration of an interface parameter, or null
  size_t arity;
};

// Throws std::logic_error for a declaration it cannot read (an unknown type, a
// setter without exactly one parameter, a mismatch between text and C++ type count).
TypeData BuildType(const char* name, const GUID& iid, TypeKind kind, std::initializer_list<MemberDecl> members);

template <class I>
const TypeData& InfoOf() {
  return I::template comrt_info<I>();
}

namespace detail {

template <class>
inline constexpr bool kUnsupported = false;

template <class A>
A Arg(VARIANT& v) {
  if constexpr (std::is_same_v<A, BSTR>) {
    return v.bstrVal;
  } else if constexpr (std::is_pointer_v<A>) {
    return static_cast<A>(v.byref);
  } else if constexpr (std::is_same_v<A, BYTE>) {
    return v.bVal;
  } else if constexpr (std::is_same_v<A, SHORT>) {
    return v.iVal;
  } else if constexpr (std::is_same_v<A, LONG>) {
    return v.lVal;
  } else if constexpr (std::is_same_v<A, float>) {
    return v.fltVal;
  } else if constexpr (std::is_same_v<A, double>) {
    return v.dblVal;
  } else if constexpr (std::is_same_v<A, VARIANT>) {
    return v;
  } else {
    static_assert(kUnsupported<A>, "parameter type not supported at the COM boundary");
  }
}

template <class P>
constexpr TypeGetter RefOf() {
  using Pointee = std::remove_pointer_t<P>;
  if constexpr (std::is_pointer_v<P> && std::is_pointer_v<Pointee>) {
    return RefOf<Pointee>();
  } else if constexpr (std::is_pointer_v<P> && std::is_base_of_v<IDispatch, Pointee> &&
                       !std::is_same_v<IDispatch, Pointee>) {
    return &InfoOf<Pointee>;
  } else {
    return nullptr;
  }
}

template <class T>
struct MemberTraits;

template <class C, class... A>
struct MemberTraits<HRESULT (C::*)(A...)> {
  static constexpr size_t arity = sizeof...(A);
  static constexpr TypeGetter refs[] = {RefOf<A>()..., nullptr};

  template <auto M, size_t... I>
  static HRESULT CallWith(IDispatch* self, [[maybe_unused]] VARIANT* args, std::index_sequence<I...>) {
    return (static_cast<C*>(self)->*M)(Arg<A>(args[I])...);
  }
  template <auto M>
  static HRESULT Call(IDispatch* self, VARIANT* args) {
    return CallWith<M>(self, args, std::index_sequence_for<A...>{});
  }
};

template <auto M>
MemberDecl Decl(MemberKind kind, const char* name, DISPID dispid, const char* params) {
  using Traits = MemberTraits<decltype(M)>;
  return {kind, name, dispid, params, &Traits::template Call<M>, Traits::refs, Traits::arity};
}

}  // namespace detail
}  // namespace comrt

#define COMRT_CXX_NAME_PROPGET(name) get_##name
#define COMRT_CXX_NAME_PROPPUT(name) put_##name
#define COMRT_CXX_NAME_PROPPUTREF(name) putref_##name
#define COMRT_CXX_NAME_METHOD(name) name
#define COMRT_KIND_PROPGET PropGet
#define COMRT_KIND_PROPPUT PropPut
#define COMRT_KIND_PROPPUTREF PropPutRef
#define COMRT_KIND_METHOD Method

#define COMRT_VTABLE_ENTRY(kind, name, dispid, params) virtual HRESULT COMRT_CXX_NAME_##kind(name) params = 0;
#define COMRT_DUAL_DECL(kind, name, dispid, params)                                                        \
  ::comrt::detail::Decl<&Self::COMRT_CXX_NAME_##kind(name)>(::comrt::MemberKind::COMRT_KIND_##kind, #name, \
                                                            dispid, #params),
#define COMRT_DISP_DECL(kind, name, dispid, params) \
  ::comrt::MemberDecl{::comrt::MemberKind::COMRT_KIND_##kind, #name, dispid, #params, nullptr, nullptr, 0},
#define COMRT_DISPID_CONSTANT(kind, name, dispid, params) static constexpr DISPID dispid_##name = dispid;

#define COM_DUAL_INTERFACE(Name, iid, MEMBERS)                                                                    \
  struct Name : IDispatch {                                                                                       \
    MEMBERS(COMRT_VTABLE_ENTRY)                                                                                   \
    static constexpr IID comrt_iid = ::comrt::ParseGuid(iid);                                                     \
    template <class Self>                                                                                         \
    static const ::comrt::TypeData& comrt_info() {                                                                \
      static const ::comrt::TypeData info =                                                                       \
          ::comrt::BuildType(#Name, comrt_iid, ::comrt::TypeKind::Dual, {MEMBERS(COMRT_DUAL_DECL)});              \
      return info;                                                                                                \
    }                                                                                                             \
  };                                                                                                              \
  inline constexpr IID IID_##Name = Name::comrt_iid;

// A dispinterface has no vtable of its own: a sink implements it through IDispatch.
#define COM_DISPINTERFACE(Name, iid, MEMBERS)                                                                     \
  struct Name : IDispatch {                                                                                       \
    MEMBERS(COMRT_DISPID_CONSTANT)                                                                                \
    static constexpr IID comrt_iid = ::comrt::ParseGuid(iid);                                                     \
    template <class Self>                                                                                         \
    static const ::comrt::TypeData& comrt_info() {                                                                \
      static const ::comrt::TypeData info =                                                                       \
          ::comrt::BuildType(#Name, comrt_iid, ::comrt::TypeKind::DispInterface, {MEMBERS(COMRT_DISP_DECL)});     \
      return info;                                                                                                \
    }                                                                                                             \
  };                                                                                                              \
  inline constexpr IID IID_##Name = Name::comrt_iid;

#define COM_CLASS_ID(Name, clsid) inline constexpr CLSID CLSID_##Name = ::comrt::ParseGuid(clsid);
