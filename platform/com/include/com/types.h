// The binary types of COM as clients and servers exchange them: scalars, status
// codes, identifiers, strings, variants, arrays and the records of type information.
// Layouts follow the documented x86-64 forms, so that a client that knows only the
// documented contract can read and write them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// ---- scalars -------------------------------------------------------------------

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using USHORT = uint16_t;
using SHORT = int16_t;
using INT = int;
using UINT = unsigned int;
using LONG = int32_t;
using ULONG = uint32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using ULONG_PTR = uintptr_t;
using FLOAT = float;
using DOUBLE = double;
using BOOL = int;
using HRESULT = int32_t;
using SCODE = int32_t;
using LCID = DWORD;
using DISPID = LONG;
using MEMBERID = DISPID;
using HREFTYPE = DWORD;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using DATE = double;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// A BSTR points at the first character of a UTF-16 string that is preceded by its
// length in bytes (32 bits) and followed by a zero character. Null is the empty string.
using BSTR = OLECHAR*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// ---- status codes --------------------------------------------------------------

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT MakeHresult(uint32_t value) { return static_cast<HRESULT>(value); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHresult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005);
inline constexpr HRESULT E_HANDLE = MakeHresult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHresult(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = MakeHresult(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = MakeHresult(0x80040151);
inline constexpr HRESULT REGDB_E_KEYMISSING = MakeHresult(0x80040152);
inline constexpr HRESULT REGDB_E_INVALIDVALUE = MakeHresult(0x80040153);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154);
inline constexpr HRESULT REGDB_E_IIDNOTREG = MakeHresult(0x80040155);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeHresult(0x800401F0);
inline constexpr HRESULT CO_E_DLLNOTFOUND = MakeHresult(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = MakeHresult(0x800401F9);
inline constexpr HRESULT RPC_E_WRONG_THREAD = MakeHresult(0x8001010E);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHresult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHresult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHresult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHresult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHresult(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = MakeHresult(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeHresult(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeHresult(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeHresult(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = MakeHresult(0x8002000B);
inline constexpr HRESULT DISP_E_UNKNOWNLCID = MakeHresult(0x8002000C);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHresult(0x8002000D);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHresult(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHresult(0x8002000F);

inline constexpr HRESULT TYPE_E_IOERROR = MakeHresult(0x80028CA2);
inline constexpr HRESULT TYPE_E_INVDATAREAD = MakeHresult(0x80028018);
inline constexpr HRESULT TYPE_E_UNSUPFORMAT = MakeHresult(0x80028019);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = MakeHresult(0x8002801C);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = MakeHresult(0x8002801D);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MakeHresult(0x8002802B);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MakeHresult(0x80029C4A);

inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHresult(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHresult(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHresult(0x80040202);

// Errors of the library's own kind (comrt::Error) cross the boundary as this base
// plus the error number.
inline constexpr HRESULT kErrorHresultBase = MakeHresult(0x800A0000);

// ---- identifiers ----------------------------------------------------------------

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return false;
    return true;
  }
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};

namespace comrt {

namespace detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
constexpr bool ParseHex(std::string_view text, size_t at, size_t digits, uint64_t& out) {
  out = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int d = HexDigit(text[at + i]);
    if (d < 0) return false;
    out = out * 16 + static_cast<uint64_t>(d);
  }
  return true;
}
}  // namespace detail

// Reads "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces required, either case).
// Returns false for anything else and leaves `out` unspecified.
constexpr bool TryParseGuid(std::string_view text, GUID& out) {
  if (text.size() != 38 || text[0] != '{' || text[37] != '}') return false;
  if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return false;
  uint64_t v = 0;
  if (!detail::ParseHex(text, 1, 8, v)) return false;
  out.Data1 = static_cast<uint32_t>(v);
  if (!detail::ParseHex(text, 10, 4, v)) return false;
  out.Data2 = static_cast<uint16_t>(v);
  if (!detail::ParseHex(text, 15, 4, v)) return false;
  out.Data3 = static_cast<uint16_t>(v);
  constexpr size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!detail::ParseHex(text, kByteAt[i], 2, v)) return false;
    out.Data4[i] = static_cast<uint8_t>(v);
  }
  return true;
}

// For identifiers written in the source: a malformed text fails to compile when
// used in a constant expression, and throws std::invalid_argument otherwise.
constexpr GUID ParseGuid(std::string_view text) {
  GUID g{};
  if (!TryParseGuid(text, g)) throw std::invalid_argument("malformed GUID text");
  return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the registry keeps it.
std::string ToString(const GUID& guid);

}  // namespace comrt

// ---- strings -------------------------------------------------------------------

namespace comrt {
// Conversions between the system's UTF-8 text and COM's UTF-16.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
}  // namespace comrt

// ---- variants and arrays --------------------------------------------------------

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;
struct VARIANT;

// Currency: a count of ten-thousandths.
union CY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
};

// A decimal number: the 96-bit integer Hi32:Lo64, negative when `sign` is 0x80,
// divided by 10 to the power `scale` (0 to 28).
struct DECIMAL {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;
  ULONG Hi32;
  ULONGLONG Lo64;
};
static_assert(sizeof(DECIMAL) == 16);

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    CY cyVal;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    CY* pcyVal;
    DATE* pdate;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    };
  };
};
using VARIANTARG = VARIANT;
static_assert(sizeof(VARIANT) == 24);
static_assert(offsetof(VARIANT, lVal) == 8);

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
static_assert(offsetof(SAFEARRAY, pvData) == 16);

enum : USHORT {
  FADF_AUTO = 0x0001,
  FADF_STATIC = 0x0002,
  FADF_EMBEDDED = 0x0004,
  FADF_FIXEDSIZE = 0x0010,
  FADF_RECORD = 0x0020,
  FADF_HAVEIID = 0x0040,
  FADF_HAVEVARTYPE = 0x0080,
  FADF_BSTR = 0x0100,
  FADF_UNKNOWN = 0x0200,
  FADF_DISPATCH = 0x0400,
  FADF_VARIANT = 0x0800,
};

// Flags of VariantChangeType.
enum : USHORT {
  VARIANT_NOVALUEPROP = 0x01,
  VARIANT_ALPHABOOL = 0x02,
};

// ---- dispatch ------------------------------------------------------------------

struct DISPPARAMS {
  VARIANTARG* rgvarg;  // the arguments, last one first
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;
inline constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

enum : WORD {
  DISPATCH_METHOD = 0x1,
  DISPATCH_PROPERTYGET = 0x2,
  DISPATCH_PROPERTYPUT = 0x4,
  DISPATCH_PROPERTYPUTREF = 0x8,
};

inline constexpr LCID LOCALE_NEUTRAL = 0;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

// ---- type information -----------------------------------------------------------

enum TYPEKIND : int {
  TKIND_ENUM = 0,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
  TKIND_MAX,
};

enum TYPEFLAGS : WORD {
  TYPEFLAG_FAPPOBJECT = 0x1,
  TYPEFLAG_FCANCREATE = 0x2,
  TYPEFLAG_FLICENSED = 0x4,
  TYPEFLAG_FPREDECLID = 0x8,
  TYPEFLAG_FHIDDEN = 0x10,
  TYPEFLAG_FCONTROL = 0x20,
  TYPEFLAG_FDUAL = 0x40,
  TYPEFLAG_FNONEXTENSIBLE = 0x80,
  TYPEFLAG_FOLEAUTOMATION = 0x100,
  TYPEFLAG_FRESTRICTED = 0x200,
  TYPEFLAG_FAGGREGATABLE = 0x400,
  TYPEFLAG_FREPLACEABLE = 0x800,
  TYPEFLAG_FDISPATCHABLE = 0x1000,
  TYPEFLAG_FREVERSEBIND = 0x2000,
  TYPEFLAG_FPROXY = 0x4000,
};

enum IMPLTYPEFLAGS : int {
  IMPLTYPEFLAG_FDEFAULT = 0x1,
  IMPLTYPEFLAG_FSOURCE = 0x2,
  IMPLTYPEFLAG_FRESTRICTED = 0x4,
  IMPLTYPEFLAG_FDEFAULTVTABLE = 0x8,
};

enum FUNCKIND : int {
  FUNC_VIRTUAL = 0,
  FUNC_PUREVIRTUAL,
  FUNC_NONVIRTUAL,
  FUNC_STATIC,
  FUNC_DISPATCH,
};

enum INVOKEKIND : int {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8,
};

enum CALLCONV : int {
  CC_FASTCALL = 0,
  CC_CDECL = 1,
  CC_MSCPASCAL,
  CC_PASCAL = CC_MSCPASCAL,
  CC_MACPASCAL,
  CC_STDCALL,
  CC_FPFASTCALL,
  CC_SYSCALL,
  CC_MPWCDECL,
  CC_MPWPASCAL,
  CC_MAX,
};

enum SYSKIND : int {
  SYS_WIN16 = 0,
  SYS_WIN32,
  SYS_MAC,
  SYS_WIN64,
};

enum LIBFLAGS : WORD {
  LIBFLAG_FRESTRICTED = 0x1,
  LIBFLAG_FCONTROL = 0x2,
  LIBFLAG_FHIDDEN = 0x4,
  LIBFLAG_FHASDISKIMAGE = 0x8,
};

enum : USHORT {
  PARAMFLAG_NONE = 0,
  PARAMFLAG_FIN = 0x1,
  PARAMFLAG_FOUT = 0x2,
  PARAMFLAG_FLCID = 0x4,
  PARAMFLAG_FRETVAL = 0x8,
  PARAMFLAG_FOPT = 0x10,
  PARAMFLAG_FHASDEFAULT = 0x20,
  PARAMFLAG_FHASCUSTDATA = 0x40,
};

struct ARRAYDESC;

struct TYPEDESC {
  union {
    TYPEDESC* lptdesc;    // VT_PTR, VT_SAFEARRAY: the type pointed at / held
    ARRAYDESC* lpadesc;   // VT_CARRAY
    HREFTYPE hreftype;    // VT_USERDEFINED: for ITypeInfo::GetRefTypeInfo
  };
  VARTYPE vt;
};

struct IDLDESC {
  ULONG_PTR dwReserved;
  USHORT wIDLFlags;
};

struct PARAMDESCEX;

struct PARAMDESC {
  PARAMDESCEX* pparamdescex;
  USHORT wParamFlags;
};

struct ELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
};

struct FUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;  // offset of the member's entry in the vtable, in bytes
  SHORT cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
};

enum VARKIND : int {
  VAR_PERINSTANCE = 0,
  VAR_STATIC,
  VAR_CONST,
  VAR_DISPATCH,
};

struct VARDESC {
  MEMBERID memid;
  LPOLESTR lpstrSchema;
  union {
    ULONG oInst;
    VARIANT* lpvarValue;
  };
  ELEMDESC elemdescVar;
  WORD wVarFlags;
  VARKIND varkind;
};

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
};

struct TLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
};

// ---- connection points ------------------------------------------------------------

struct CONNECTDATA {
  IUnknown* pUnk;
  DWORD dwCookie;
};
