#include "version_info.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <sstream>

namespace {

bool ParseVersion(const std::string& text, std::array<uint16_t, 4>& version) {
  std::istringstream in(text);
  for (size_t i = 0; i < version.size(); ++i) {
    unsigned long part = 0;
    if (!std::isdigit(static_cast<unsigned char>(in.peek())) || !(in >> part) || part > 0xFFFF) return false;
    version[i] = static_cast<uint16_t>(part);
    if (i + 1 < version.size() && in.get() != '.') return false;
  }
  return in.peek() == std::char_traits<char>::eof();
}

bool ParseFlags(const std::string& text, uint32_t& flags) {
  if (text.empty()) return false;
  size_t used = 0;
  try {
    const unsigned long value = std::stoul(text, &used, 0);
    if (used != text.size() || value > 0xFFFFFFFFul) return false;
    flags = static_cast<uint32_t>(value);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool IsTranslation(const std::string& text) {
  if (text.size() != 8) return false;
  for (char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::optional<VersionInfo> Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return std::nullopt;
}

}  // namespace

std::optional<VersionInfo> ParseVersionInfo(const std::vector<uint8_t>& bytes, std::string* error) {
  const char* const fixed_keys[] = {"FILEVERSION", "PRODUCTVERSION", "FILEFLAGS", "FILEOS", "FILETYPE", "TRANSLATION"};
  std::map<std::string, std::string> fixed;
  VersionInfo info;
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) return Fail(error, "line " + std::to_string(number) + ": no Key=");
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    bool is_fixed = false;
    for (const char* k : fixed_keys) is_fixed |= key == k;
    bool seen = fixed.count(key) != 0;
    for (const auto& entry : info.strings) seen |= entry.first == key;
    if (seen) return Fail(error, "line " + std::to_string(number) + ": " + key + " given twice");
    if (is_fixed) {
      fixed.emplace(std::move(key), std::move(value));
    } else {
      info.strings.emplace_back(std::move(key), std::move(value));
    }
  }
  for (const char* k : fixed_keys) {
    if (!fixed.count(k)) return Fail(error, std::string(k) + " is missing");
  }
  if (!ParseVersion(fixed["FILEVERSION"], info.fileVersion)) return Fail(error, "FILEVERSION is malformed");
  if (!ParseVersion(fixed["PRODUCTVERSION"], info.productVersion)) return Fail(error, "PRODUCTVERSION is malformed");
  if (!ParseFlags(fixed["FILEFLAGS"], info.fileFlags)) return Fail(error, "FILEFLAGS is malformed");
  info.fileOS = fixed["FILEOS"];
  info.fileType = fixed["FILETYPE"];
  if (info.fileType != "DLL" && info.fileType != "APP") return Fail(error, "FILETYPE is neither DLL nor APP");
  info.translation = fixed["TRANSLATION"];
  if (!IsTranslation(info.translation)) return Fail(error, "TRANSLATION is not eight hexadecimal digits");
  return info;
}
