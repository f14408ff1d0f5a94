// The standard COM interfaces the system uses, with their documented member order
// and identifiers. An interface is a struct of pure virtual functions and nothing
// else, so that a client calls its members by vtable position.
#pragma once
#include "com/types.h"

struct ITypeInfo;
struct ITypeLib;
struct ITypeComp;
struct IConnectionPoint;
struct IConnectionPointContainer;

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT LockServer(BOOL fLock) = 0;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT GetGUID(GUID* pGUID) = 0;
  virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT SetGUID(REFGUID rguid) = 0;
  virtual HRESULT SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD dwHelpContext) = 0;
};

struct IEnumConnections : IUnknown {
  virtual HRESULT Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cConnections) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnections** ppEnum) = 0;
};

struct IEnumConnectionPoints : IUnknown {
  virtual HRESULT Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cConnections) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnectionPoints** ppEnum) = 0;
};

struct IConnectionPoint : IUnknown {
  virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
  virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
  virtual HRESULT Unadvise(DWORD dwCookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** ppEnum) = 0;
};

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
};

struct ITypeInfo : IUnknown {
  virtual HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp** ppTComp) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
  virtual HRESULT GetVarDesc(UINT index, VARDESC** ppVarDesc) = 0;
  virtual HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
  virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
  virtual HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
  virtual HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
  virtual HRESULT Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
  virtual HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                   BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName,
                              WORD* pwOrdinal) = 0;
  virtual HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, void** ppv) = 0;
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) = 0;
  virtual HRESULT GetMops(MEMBERID memid, BSTR* pBstrMops) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;
  virtual void ReleaseVarDesc(VARDESC* pVarDesc) = 0;
};

struct ITypeLib : IUnknown {
  virtual UINT GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp** ppTComp) = 0;
  virtual HRESULT GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                   BSTR* pBstrHelpFile) = 0;
  virtual HRESULT IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) = 0;
  virtual HRESULT FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                           USHORT* pcFound) = 0;
  virtual void ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;
};

inline constexpr IID IID_IUnknown = comrt::ParseGuid("{00000000-0000-0000-C000-000000000046}");
inline constexpr IID IID_IClassFactory = comrt::ParseGuid("{00000001-0000-0000-C000-000000000046}");
inline constexpr IID IID_IDispatch = comrt::ParseGuid("{00020400-0000-0000-C000-000000000046}");
inline constexpr IID IID_ITypeInfo = comrt::ParseGuid("{00020401-0000-0000-C000-000000000046}");
inline constexpr IID IID_ITypeLib = comrt::ParseGuid("{00020402-0000-0000-C000-000000000046}");
inline constexpr IID IID_ITypeComp = comrt::ParseGuid("{00020403-0000-0000-C000-000000000046}");
inline constexpr IID IID_IErrorInfo = comrt::ParseGuid("{1CF2B120-547D-101B-8E65-08002B2BD119}");
inline constexpr IID IID_ICreateErrorInfo = comrt::ParseGuid("{22F03340-547D-101B-8E65-08002B2BD119}");
inline constexpr IID IID_ISupportErrorInfo = comrt::ParseGuid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
inline constexpr IID IID_IConnectionPointContainer = comrt::ParseGuid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
inline constexpr IID IID_IEnumConnectionPoints = comrt::ParseGuid("{B196B285-BAB4-101A-B69C-00AA00341D07}");
inline constexpr IID IID_IConnectionPoint = comrt::ParseGuid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
inline constexpr IID IID_IEnumConnections = comrt::ParseGuid("{B196B287-BAB4-101A-B69C-00AA00341D07}");

// The OLE Automation type library, which holds IUnknown and IDispatch.
inline constexpr GUID LIBID_stdole = comrt::ParseGuid("{00020430-0000-0000-C000-000000000046}");
