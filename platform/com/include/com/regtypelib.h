// Type libraries in the registry, under HKEY_CLASSES_ROOT:
//   TypeLib\{libid}\<major>.<minor>              @ = the library's help string, else its name
//   TypeLib\{libid}\<major>.<minor>\<lcid>\<sys> @ = the file's path (sys: win16, win32, win64, mac)
//   TypeLib\{libid}\<major>.<minor>\FLAGS        @ = the library flags, in decimal
//   TypeLib\{libid}\<major>.<minor>\HELPDIR      @ = the help folder (empty when none)
// and for each dispinterface and OLE-automation interface of the library
//   Interface\{iid}  @ = its name; ProxyStubClsid, ProxyStubClsid32 @ = the automation
//                    marshaler; TypeLib @ = {libid}, "Version" = <major>.<minor>
// Versions and locales are written in hexadecimal without leading zeros.
#pragma once
#include "com/interfaces.h"

// The automation marshaler, which marshals interfaces from their type description.
inline constexpr CLSID CLSID_PSOAInterface = comrt::ParseGuid("{00020424-0000-0000-C000-000000000046}");

extern "C" {

// Records the library and its interfaces. TYPE_E_REGISTRYACCESS, with error
// info, when the registry cannot be written.
HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);

// Removes that registration; when no other locale or system of the version
// remains, also the version's key and the interfaces that name this version.
// TYPE_E_REGISTRYACCESS when it is not registered or the registry cannot be written.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind);

// Loads the registered library: the exact version, else the highest minor version
// above the one asked for with the same major; the locale asked for, else its
// primary language, else neutral. TYPE_E_LIBNOTREGISTERED when there is none.
HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);

}  // extern "C"
