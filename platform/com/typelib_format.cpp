#include <cstring>
#include <fstream>
#include <iterator>
#include <new>

#include "com/oleauto.h"
#include "com/resource.h"
#include "com/typelib.h"
#include "com/variant.h"

// Layout, all numbers little-endian:
//   "QTLB", u16 format version 1
//   library: str name, guid, u16 major, u16 minor, u32 lcid, u32 syskind, u16 flags
//   u32 type count, then per type:
//     u8 kind, str name, guid, u16 flags, u16 major, u16 minor,
//     str base, str default interface, str source interface,
//     u32 member count, then per member:
//       u8 invoke kind, str name, i32 dispid, i32 vtable slot, u32 parameter count,
//       then per parameter: str name, str type name, u16 vartype, u8 indirection, u8 retval
//   str: u32 byte count + UTF-8; guid: 16 bytes, first three fields little-endian.
namespace comrt {

namespace {

constexpr char kMagic[4] = {'Q', 'T', 'L', 'B'};
constexpr uint16_t kVersion = 1;

class Writer {
 public:
  std::vector<uint8_t> bytes;
  void U8(uint8_t v) { bytes.push_back(v); }
  void U16(uint16_t v) { Le(v, 2); }
  void U32(uint32_t v) { Le(v, 4); }
  void Str(const std::string& s) {
    U32(static_cast<uint32_t>(s.size()));
    bytes.insert(bytes.end(), s.begin(), s.end());
  }
  void Guid(const GUID& g) {
    U32(g.Data1);
    U16(g.Data2);
    U16(g.Data3);
    bytes.insert(bytes.end(), g.Data4, g.Data4 + 8);
  }

 private:
  void Le(uint32_t v, int n) {
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
};

struct Damaged {};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), left_(size) {}
  uint8_t U8() { return static_cast<uint8_t>(Le(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Le(2)); }
  uint32_t U32() { return Le(4); }
  std::string Str() {
    const uint32_t n = U32();
    Need(n);
    std::string s(reinterpret_cast<const char*>(p_), n);
    Skip(n);
    return s;
  }
  GUID Guid() {
    GUID g{};
    g.Data1 = U32();
    g.Data2 = U16();
    g.Data3 = U16();
    Need(8);
    std::memcpy(g.Data4, p_, 8);
    Skip(8);
    return g;
  }
  // A count of items that each take at least `minSize` bytes: one that cannot
  // fit in what is left is damage, not a reason to reserve memory.
  uint32_t Count(size_t minSize) {
    const uint32_t n = U32();
    if (n > left_ / minSize) throw Damaged{};
    return n;
  }
  bool AtEnd() const { return left_ == 0; }

 private:
  void Need(size_t n) const {
    if (n > left_) throw Damaged{};
  }
  void Skip(size_t n) {
    p_ += n;
    left_ -= n;
  }
  uint32_t Le(int n) {
    Need(static_cast<size_t>(n));
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint32_t>(p_[i]) << (8 * i);
    Skip(static_cast<size_t>(n));
    return v;
  }
  const uint8_t* p_;
  size_t left_;
};

// A parameter's base type: a type a VARIANT holds by value, VT_VARIANT, VT_VOID,
// VT_HRESULT or an interface (VT_USERDEFINED). Pointers are counted in the
// indirection, never written as VT_PTR, and a VT_PTR, VT_SAFEARRAY or VT_CARRAY
// here would describe a pointer or array without its target.
bool ValidBaseType(VARTYPE vt) {
  switch (vt) {
    case VT_VARIANT:
    case VT_VOID:
    case VT_HRESULT:
    case VT_USERDEFINED:
      return true;
    case VT_EMPTY:
    case VT_NULL:
      return false;
    default:
      return IsValidVartype(vt) && !(vt & ~VT_TYPEMASK);
  }
}

bool ValidMemberKind(uint8_t k) {
  return k == INVOKE_FUNC || k == INVOKE_PROPERTYGET || k == INVOKE_PROPERTYPUT || k == INVOKE_PROPERTYPUTREF;
}

}  // namespace

std::vector<uint8_t> SerializeTypeLib(const LibraryData& library) {
  Writer w;
  for (const char c : kMagic) w.U8(static_cast<uint8_t>(c));
  w.U16(kVersion);
  w.Str(library.name);
  w.Guid(library.libid);
  w.U16(library.major);
  w.U16(library.minor);
  w.U32(library.lcid);
  w.U32(static_cast<uint32_t>(library.syskind));
  w.U16(library.flags);
  w.U32(static_cast<uint32_t>(library.types.size()));
  for (const TypeData& t : library.types) {
    w.U8(static_cast<uint8_t>(t.kind));
    w.Str(t.name);
    w.Guid(t.guid);
    w.U16(t.flags);
    w.U16(t.major);
    w.U16(t.minor);
    w.Str(t.base);
    w.Str(t.defaultInterface);
    w.Str(t.sourceInterface);
    w.U32(static_cast<uint32_t>(t.members.size()));
    for (const MemberInfo& m : t.members) {
      w.U8(static_cast<uint8_t>(m.kind));
      w.Str(m.name);
      w.U32(static_cast<uint32_t>(m.dispid));
      w.U32(static_cast<uint32_t>(m.slot));
      w.U32(static_cast<uint32_t>(m.params.size()));
      for (const ParamInfo& p : m.params) {
        w.Str(p.name);
        w.Str(p.typeName);
        w.U16(p.vt);
        w.U8(static_cast<uint8_t>(p.indirection));
        w.U8(p.retval ? 1 : 0);
      }
    }
  }
  return std::move(w.bytes);
}

HRESULT ParseTypeLib(const uint8_t* data, size_t size, LibraryData& library) {
  if (data == nullptr && size > 0) return E_INVALIDARG;
  if (size < 6 || std::memcmp(data, kMagic, 4) != 0) return TYPE_E_UNSUPFORMAT;
  try {
    Reader r(data + 4, size - 4);
    if (r.U16() != kVersion) return TYPE_E_UNSUPFORMAT;
    LibraryData lib;
    lib.name = r.Str();
    lib.libid = r.Guid();
    lib.major = r.U16();
    lib.minor = r.U16();
    lib.lcid = r.U32();
    lib.syskind = static_cast<SYSKIND>(r.U32());
    if (lib.syskind < SYS_WIN16 || lib.syskind > SYS_WIN64) return TYPE_E_INVDATAREAD;
    lib.flags = r.U16();
    const uint32_t typeCount = r.Count(43);
    for (uint32_t i = 0; i < typeCount; ++i) {
      TypeData t;
      const uint8_t kind = r.U8();
      if (kind > static_cast<uint8_t>(TypeKind::Interface)) return TYPE_E_INVDATAREAD;
      t.kind = static_cast<TypeKind>(kind);
      t.name = r.Str();
      t.guid = r.Guid();
      t.flags = r.U16();
      t.major = r.U16();
      t.minor = r.U16();
      t.base = r.Str();
      t.defaultInterface = r.Str();
      t.sourceInterface = r.Str();
      const uint32_t memberCount = r.Count(17);
      for (uint32_t k = 0; k < memberCount; ++k) {
        MemberInfo m;
        const uint8_t memberKind = r.U8();
        if (!ValidMemberKind(memberKind)) return TYPE_E_INVDATAREAD;
        m.kind = static_cast<MemberKind>(memberKind);
        m.name = r.Str();
        m.dispid = static_cast<DISPID>(r.U32());
        m.slot = static_cast<int>(r.U32());
        const uint32_t paramCount = r.Count(12);
        for (uint32_t j = 0; j < paramCount; ++j) {
          ParamInfo p;
          p.name = r.Str();
          p.typeName = r.Str();
          p.vt = r.U16();
          p.indirection = r.U8();
          const uint8_t retval = r.U8();
          if (p.indirection > 2 || retval > 1 || (retval && j + 1 != paramCount) || !ValidBaseType(p.vt))
            return TYPE_E_INVDATAREAD;
          p.retval = retval == 1;
          m.params.push_back(std::move(p));
        }
        t.members.push_back(std::move(m));
      }
      lib.types.push_back(std::move(t));
    }
    if (!r.AtEnd()) return TYPE_E_INVDATAREAD;
    library = std::move(lib);
    return S_OK;
  } catch (const Damaged&) {
    return TYPE_E_INVDATAREAD;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT LoadTypeLibFromBytes(const uint8_t* data, size_t size, ITypeLib** pptlib) {
  if (pptlib == nullptr) return E_POINTER;
  *pptlib = nullptr;
  LibraryData library;
  const HRESULT hr = ParseTypeLib(data, size, library);
  if (FAILED(hr)) return hr;
  try {
    *pptlib = CreateTypeLib(std::move(library)).detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace comrt

extern "C" HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
  if (pptlib == nullptr) return E_POINTER;
  *pptlib = nullptr;
  if (szFile == nullptr) return E_INVALIDARG;
  try {
    const std::string path = comrt::Utf16ToUtf8(szFile);
    // A server file carries the library as its TYPELIB resource; a file that is
    // itself a serialized library is read as it is.
    std::optional<std::vector<uint8_t>> bytes = comrt::ReadResource(path, "TYPELIB", 1);
    if (!bytes) {
      std::ifstream in(path, std::ios::binary);
      if (!in) return TYPE_E_CANTLOADLIBRARY;
      bytes.emplace(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const HRESULT hr = comrt::LoadTypeLibFromBytes(bytes->data(), bytes->size(), pptlib);
    return hr == TYPE_E_UNSUPFORMAT ? TYPE_E_CANTLOADLIBRARY : hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
