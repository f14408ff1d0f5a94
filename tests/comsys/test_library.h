// The test server's type library: a dual interface, a dispinterface, a plain
// interface (not for the automation marshaler) and the class.
#pragma once
#include <string>

#include "com/typedata.h"
#include "test_server.h"

inline constexpr GUID LIBID_CounterLib = comrt::ParseGuid("{5E0B1C7A-2D3F-4A6B-9C8D-7E6F5A4B3D00}");
inline constexpr IID IID_CounterDual = comrt::ParseGuid("{5E0B1C7A-2D3F-4A6B-9C8D-7E6F5A4B3D01}");
inline constexpr IID IID_CounterEvents = comrt::ParseGuid("{5E0B1C7A-2D3F-4A6B-9C8D-7E6F5A4B3D02}");
inline constexpr IID IID_Plain = comrt::ParseGuid("{5E0B1C7A-2D3F-4A6B-9C8D-7E6F5A4B3D03}");

inline comrt::LibraryData CounterLibrary() {
  comrt::LibraryData lib;
  lib.name = "CounterLib";
  lib.libid = LIBID_CounterLib;
  lib.syskind = SYS_WIN32;
  const auto type = [](std::string name, const GUID& guid, comrt::TypeKind kind, WORD flags, std::string base) {
    comrt::TypeData t;
    t.name = std::move(name);
    t.guid = guid;
    t.kind = kind;
    t.flags = flags;
    t.base = std::move(base);
    return t;
  };
  const comrt::TypeData dual =
      type("_Counter", IID_CounterDual, comrt::TypeKind::Dual,
           TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE, "IDispatch");
  const comrt::TypeData events = type("__Counter", IID_CounterEvents, comrt::TypeKind::DispInterface, TYPEFLAG_FHIDDEN, "");
  const comrt::TypeData plain = type("IPlain", IID_Plain, comrt::TypeKind::Interface, 0, "IUnknown");
  lib.types = {dual, comrt::CoClass("Counter", CLSID_Counter, dual, &events), events, plain};
  return lib;
}
