// Build step: writes the resources the server file carries that come from the
// declarations of quorlink/interfaces.h, into the folder given as argument:
//   QELCom.tlb             the type library QELCom 1.0 (resource TYPELIB 1)
//   <type>.bin             per interface, the identifier resource of that type:
//                          _IID_<CLASS> for a default interface, _SRCIID_<CLASS> for
//                          an event interface; 20 bytes: the length 16 as 32-bit
//                          little-endian, then the IID in a GUID's memory layout
//                          (the first three fields little-endian).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "QELComClasses.h"
#include "com/typelib.h"
#include "quorlink/interfaces.h"

namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// The event interface of a class row, or none.
template <class... Events>
const comrt::TypeData* SourceOf() {
  if constexpr (sizeof...(Events) == 0) {
    return nullptr;
  } else {
    return &comrt::InfoOf<Events...>();
  }
}

comrt::LibraryData QELCom() {
  comrt::LibraryData library;
  library.name = "QELCom";
  library.libid = LIBID_QELCom;
  library.major = 1;
  library.minor = 0;
  library.lcid = LOCALE_NEUTRAL;
  library.syskind = SYS_WIN32;
  library.flags = 0;
  // Each default interface and its class, then the event interfaces, in the table's order.
#define QELCOM_ADD_CLASS(name, ...)                  \
  library.types.push_back(comrt::InfoOf<_##name>()); \
  library.types.push_back(comrt::CoClass(#name, CLSID_##name, comrt::InfoOf<_##name>(), SourceOf<__VA_ARGS__>()));
  QELCOM_CLASSES(QELCOM_ADD_CLASS)
#undef QELCOM_ADD_CLASS
#define QELCOM_ADD_EVENTS(name, ...) \
  if (const comrt::TypeData* events = SourceOf<__VA_ARGS__>()) library.types.push_back(*events);
  QELCOM_CLASSES(QELCOM_ADD_EVENTS)
#undef QELCOM_ADD_EVENTS
  return library;
}

std::vector<uint8_t> IdentifierResource(const GUID& iid) {
  std::vector<uint8_t> bytes = {16, 0, 0, 0};
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(iid.Data1 >> (8 * i)));
  for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<uint8_t>(iid.Data2 >> (8 * i)));
  for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<uint8_t>(iid.Data3 >> (8 * i)));
  bytes.insert(bytes.end(), iid.Data4, iid.Data4 + 8);
  return bytes;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const comrt::LibraryData library = QELCom();
  bool ok = WriteFile(folder + "/QELCom.tlb", comrt::SerializeTypeLib(library));
  for (const comrt::TypeData& type : library.types) {
    if (type.kind == comrt::TypeKind::Dual) {
      ok &= WriteFile(folder + "/_IID_" + Upper(type.name.substr(1)) + ".bin", IdentifierResource(type.guid));
    } else if (type.kind == comrt::TypeKind::DispInterface) {
      ok &= WriteFile(folder + "/_SRCIID_" + Upper(type.name.substr(2)) + ".bin", IdentifierResource(type.guid));
    }
  }
  return ok ? 0 : 1;
}
