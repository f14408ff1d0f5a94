// Self-registration of the server file: the type library carried in the file and,
// for each class, its in-process server entry and programmatic identifier.
#pragma once
#include "com/types.h"

namespace quorlink {

// S_OK when every entry was recorded; else the first failure's HRESULT, with error
// information naming it.
HRESULT RegisterServer();

// Removes what RegisterServer records, and nothing else. A server that was never
// registered unregisters successfully.
HRESULT UnregisterServer();

}  // namespace quorlink
