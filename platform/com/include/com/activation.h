// Activation: creating objects of in-process servers by class identifier.
//
// A class is found through the registry: the default value of
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 is the path of the server file.
// The file is loaded once per path (RTLD_NOW | RTLD_LOCAL) and asked for the
// class's factory through its DllGetClassObject; CoFreeUnusedLibraries unloads
// each loaded server whose DllCanUnloadNow answers S_OK.
//
// Initialisation is counted per thread and is not required before activation:
// the system runs on one thread and keeps no per-apartment state.
#pragma once
#include <cstddef>

#include "com/interfaces.h"

enum CLSCTX : DWORD {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
  CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
  CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
};

enum COINIT : DWORD {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8,
};

inline constexpr HRESULT RPC_E_CHANGED_MODE = MakeHresult(0x80010106);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeHresult(0x800401F3);

// The entry points an in-process server exports.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID rclsid, REFIID riid, void** ppv);
using LPFNCANUNLOADNOW = HRESULT (*)();

extern "C" {

// S_OK for a thread's first call, S_FALSE for later ones; RPC_E_CHANGED_MODE when
// the thread was initialised with the other concurrency model.
HRESULT CoInitialize(void* pvReserved);
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
void CoUninitialize();

// REGDB_E_CLASSNOTREG: no in-process server is registered for the class (or the
// context asks for none); REGDB_E_READREGDB: the registry cannot be read;
// CO_E_DLLNOTFOUND / CO_E_ERRORINDLL: the file is missing, cannot be loaded or
// lacks DllGetClassObject, with error info saying which. A server's own failure
// comes back unchanged, its error info untouched.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid, void** ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv);
void CoFreeUnusedLibraries();

// Through HKEY_CLASSES_ROOT\<ProgID>\CLSID and HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);  // free with CoTaskMemFree

void* CoTaskMemAlloc(size_t cb);
void CoTaskMemFree(void* pv);

}  // extern "C"
