// The runtime's model of type information: what a declaration (declare.h) says
// about an interface, a dispinterface or a class, and what a type library holds.
// ITypeInfo, ITypeLib and IDispatch are served from it, and a type library is
// written to bytes and read back from it (typelib.h).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "com/ptr.h"

namespace comrt {

enum class MemberKind : int {
  Method = INVOKE_FUNC,
  PropGet = INVOKE_PROPERTYGET,
  PropPut = INVOKE_PROPERTYPUT,
  PropPutRef = INVOKE_PROPERTYPUTREF,
};

enum class TypeKind : int {
  Dual,           // a dual interface: vtable members after IDispatch's seven
  DispInterface,  // reached only through IDispatch::Invoke (events)
  CoClass,        // a creatable class with its default (and source) interface
  Interface,      // a plain interface (IUnknown, IDispatch in the built-in library)
};

struct TypeData;
using TypeGetter = const TypeData& (*)();

// Calls one member of a dual interface. `args` holds one VARIANT per declared
// parameter: for a value parameter, the value in the declared type; for a pointer
// parameter (out, in/out or retval), `byref` is the pointer to pass.
using CallThunk = HRESULT (*)(IDispatch* self, VARIANT* args);

struct ParamInfo {
  std::string name;      // empty for the value of a property setter
  std::string typeName;  // the base type as declared: "BYTE", "VARIANT_BOOL", "_PrinterPort"
  VARTYPE vt = VT_EMPTY; // of the base type; VT_USERDEFINED for an interface of the library
  int indirection = 0;   // the number of '*' after the base type
  bool retval = false;   // the member's result
  TypeGetter ref = nullptr;  // for an interface declared in this process: its declaration
};

struct MemberInfo {
  MemberKind kind = MemberKind::Method;
  std::string name;
  DISPID dispid = 0;
  std::vector<ParamInfo> params;
  int slot = 0;               // vtable entry, counting IUnknown's and IDispatch's seven
  CallThunk call = nullptr;   // present for declarations compiled into this process

  const ParamInfo* Retval() const { return !params.empty() && params.back().retval ? &params.back() : nullptr; }
  size_t InCount() const { return params.size() - (Retval() ? 1 : 0); }
};

struct TypeData {
  std::string name;
  GUID guid{};
  TypeKind kind = TypeKind::Dual;
  WORD flags = 0;  // TYPEFLAG_*
  WORD major = 1;
  WORD minor = 0;
  std::vector<MemberInfo> members;  // interfaces
  std::string base;                 // interfaces: the interface they derive from
  std::string defaultInterface;     // classes
  std::string sourceInterface;      // classes with events; empty otherwise

  // The member with this dispid whose kind is one that `invokeFlags` (DISPATCH_*)
  // allows; null if none.
  const MemberInfo* Find(DISPID dispid, WORD invokeFlags) const;
  // The first member of that name, compared without regard to case.
  const MemberInfo* FindByName(std::u16string_view name) const;
};

struct LibraryData {
  std::string name;
  GUID libid{};
  WORD major = 1;
  WORD minor = 0;
  LCID lcid = LOCALE_NEUTRAL;
  SYSKIND syskind = SYS_WIN64;
  WORD flags = 0;  // LIBFLAG_*
  std::vector<TypeData> types;  // in the library's order

  int IndexOf(std::string_view typeName) const;  // -1 if absent
};

// A class entry: creatable, with its default interface and, for a class with
// events, its default source interface.
TypeData CoClass(std::string name, const CLSID& clsid, const TypeData& defaultInterface,
                 const TypeData* sourceInterface = nullptr);

// An ITypeLib over `library` (copied).
ComPtr<ITypeLib> CreateTypeLib(LibraryData library);
// An ITypeLib over shared data that holds `module` (a server's ModuleReference,
// or null) for as long as it or a type information of it lives.
ComPtr<ITypeLib> CreateTypeLib(std::shared_ptr<const LibraryData> library, ComPtr<IUnknown> module);

// An ITypeInfo for `root`, in a library of it and every interface its members
// refer to, found through the declarations. That library is named after `root`
// and has no identifier. It holds `module` as CreateTypeLib does.
ComPtr<ITypeInfo> TypeInfoOfDeclaration(const TypeData& root, ComPtr<IUnknown> module = nullptr);

// What an object hands out from IDispatch::GetTypeInfo: the type information of
// `root` in the type library that the file holding `anchor` (an address inside
// the server) carries as its TYPELIB resource, so that GetContainingTypeLib
// leads to the server's whole library, the one its registration records. A file
// without that resource, or whose library lacks `root`, gets
// TypeInfoOfDeclaration's. Either holds `module`.
ComPtr<ITypeInfo> TypeInfoOfModule(const void* anchor, const TypeData& root, ComPtr<IUnknown> module);

// Compares names as COM does for members: without regard to (ASCII) case.
bool NamesEqual(std::u16string_view a, std::string_view b);

}  // namespace comrt
