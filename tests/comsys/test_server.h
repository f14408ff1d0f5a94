// The test server's class and interface, as its clients in the tests see them.
#pragma once
#include "com/types.h"
#include "com/interfaces.h"

// A running total kept in a module variable of the server, so that it starts at
// 0 again only when the server file is loaded anew.
struct ICounter : IUnknown {
  static constexpr IID comrt_iid = comrt::ParseGuid("{5E0B1C7A-2D3F-4A6B-9C8D-7E6F5A4B3C2D}");
  virtual HRESULT Add(LONG amount, LONG* total) = 0;
};

inline constexpr CLSID CLSID_Counter = comrt::ParseGuid("{5E0B1C7A-2D3F-4A6B-9C8D-7E6F5A4B3C01}");
// A class whose constructor fails with error 53, as a server's class does when
// an outside library is missing.
inline constexpr CLSID CLSID_Failing = comrt::ParseGuid("{5E0B1C7A-2D3F-4A6B-9C8D-7E6F5A4B3C02}");
inline constexpr const char* kCounterProgId = "QELTest.Counter";
