// The library's error model: an error carries a number and a description, as the
// BASIC runtime's errors did. Inside the library errors are thrown as comrt::Error;
// at every COM boundary they become HRESULT 0x800A0000 + number with error info.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace comrt {

class Error : public std::runtime_error {
 public:
  Error(int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}
  int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

// Error numbers used by the system.
enum ErrorNumber : int32_t {
  kOverflow = 6,
  kSubscriptOutOfRange = 9,
  kTypeMismatch = 13,
  kFileNotFound = 53,
  kDeviceIo = 57,
  kPermissionDenied = 70,
  kEntryPointNotFound = 453,
  kBadVarType = 458,
};

[[noreturn]] void ThrowOverflow();
[[noreturn]] void ThrowSubscriptOutOfRange();
[[noreturn]] void ThrowTypeMismatch();
[[noreturn]] void ThrowPermissionDenied();
// "Variable uses an Automation type not supported": a VARIANT type that is none.
[[noreturn]] void ThrowBadVarType();
// "File not found: <library>"
[[noreturn]] void ThrowFileNotFound(const std::string& library);
// "Can't find DLL entry point <entry> in <library>"
[[noreturn]] void ThrowEntryPointNotFound(const std::string& entry, const std::string& library);

}  // namespace comrt
