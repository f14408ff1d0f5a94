// Self-registration of the server file: the type library carried in the file and,
// for each class, its in-process server entry and programmatic identifier.
#pragma once
#include "com/types.h"

namespace quorlink {

// Records every entry with one change of the registry file. S_OK when that was
// done; else the first failure's HRESULT, with error information naming it and
// its reason, and the file as it was.
HRESULT RegisterServer();

// Removes what RegisterServer records, and nothing else, with one change of the
// file (none on a failure). A server that was never registered unregisters
// successfully.
HRESULT UnregisterServer();

}  // namespace quorlink
