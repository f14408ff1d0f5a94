// The test class's type library, as a server's build would describe its own.
#pragma once
#include "widget.h"

inline comrt::LibraryData WidgetLibrary() {
  comrt::LibraryData lib;
  lib.name = "WidgetLib";
  lib.libid = comrt::ParseGuid("{6A1C2F3E-0B7D-4C55-9E21-3F0A6B1D2C40}");
  lib.syskind = SYS_WIN32;
  lib.types.push_back(comrt::InfoOf<_Widget>());
  lib.types.push_back(comrt::CoClass("Widget", CLSID_Widget, comrt::InfoOf<_Widget>(), &comrt::InfoOf<__Widget>()));
  lib.types.push_back(comrt::InfoOf<__Widget>());
  return lib;
}
