// A type library as bytes: a server's build writes its declarations with
// SerializeTypeLib into its TYPELIB resource (number 1); LoadTypeLib reads them
// back into an ITypeLib. The order of types is kept.
//
//   comrt::LibraryData lib{.name = "QELCom", .libid = LIBID_QELCom};
//   lib.types.push_back(comrt::InfoOf<_SMBusProtocall>());
//   lib.types.push_back(comrt::CoClass("SMBusProtocall", CLSID_SMBusProtocall,
//                                      comrt::InfoOf<_SMBusProtocall>(), &comrt::InfoOf<__SMBusProtocall>()));
//   std::vector<uint8_t> bytes = comrt::SerializeTypeLib(lib);
#pragma once
#include <cstdint>
#include <vector>

#include "com/typedata.h"

namespace comrt {

std::vector<uint8_t> SerializeTypeLib(const LibraryData& library);

// Reads what SerializeTypeLib wrote. TYPE_E_UNSUPFORMAT for bytes of another kind,
// TYPE_E_INVDATAREAD for damaged ones; never reads outside `data`.
HRESULT ParseTypeLib(const uint8_t* data, size_t size, LibraryData& library);
HRESULT LoadTypeLibFromBytes(const uint8_t* data, size_t size, ITypeLib** pptlib);

}  // namespace comrt
