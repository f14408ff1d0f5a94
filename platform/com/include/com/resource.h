// Resources carried by a shared library or program file: named or numbered types,
// an id, a language and bytes, put into the file's .qelres section by the CMake
// function qel_add_resources (cmake/QelResources.cmake) and read back here from
// the file on disk, so a server's type library can be read without loading it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace comrt {

// A resource type: a name ("TYPELIB") or, with an empty name, a number (16).
struct ResourceType {
  ResourceType(const char* type_name) : name(type_name) {}
  ResourceType(std::string type_name) : name(std::move(type_name)) {}
  ResourceType(uint32_t type_number) : number(type_number) {}

  std::string name;
  uint32_t number = 0;

  friend bool operator==(const ResourceType&, const ResourceType&) = default;
};

// The documented number of the version resource type. A server's version resource
// is type 16, id 1, language 1033 (U.S. English), and holds text lines "Key=Value\n":
// the string-table keys (CompanyName, FileDescription, FileVersion, ...; a key
// with an empty value is present and empty) and FILEVERSION and PRODUCTVERSION
// as four dotted numbers (1.0.0.46); FILEFLAGS (a number), FILEOS (the system the
// file is for: WINDOWS32), FILETYPE (DLL or APP) and TRANSLATION, the name of the
// string table (040904B0: language 0409, code page 04B0), complete the fixed part.
inline constexpr uint32_t kVersionResource = 16;

struct ResourceInfo {
  ResourceType type;
  uint32_t id;
  uint32_t language;
  uint32_t size;
};

// The bytes of the resource of that type and id (the first one, whatever its
// language). Nothing when the file cannot be read, is not a 64-bit little-endian
// ELF file, has no well-formed .qelres section or holds no such resource; then
// *error, when given, says which.
std::optional<std::vector<uint8_t>> ReadResource(const std::string& path, const ResourceType& type, uint32_t id,
                                                 std::string* error = nullptr);

// Every resource of the file, in the order they were added; nothing on the
// failures above.
std::optional<std::vector<ResourceInfo>> ListResources(const std::string& path, std::string* error = nullptr);

}  // namespace comrt
