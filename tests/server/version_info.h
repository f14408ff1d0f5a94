// Reads a version resource in the runtime's text form (com/resource.h): lines of
// Key=Value, the fixed part under upper-case keys (FILEVERSION, PRODUCTVERSION,
// FILEFLAGS, FILEOS, FILETYPE, TRANSLATION), the string table under its own keys.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct VersionInfo {
  std::array<uint16_t, 4> fileVersion{};
  std::array<uint16_t, 4> productVersion{};
  uint32_t fileFlags = 0;
  std::string fileOS;       // the system the file is for: WINDOWS32
  std::string fileType;     // DLL or APP
  std::string translation;  // the string table's name: language and code page, "040904B0"
  std::vector<std::pair<std::string, std::string>> strings;  // in their order
};

// Nothing, with *error saying why, for bytes that do not follow the form: a line
// without "=", a key given twice, or a fixed-part key missing or malformed.
std::optional<VersionInfo> ParseVersionInfo(const std::vector<uint8_t>& bytes, std::string* error);
