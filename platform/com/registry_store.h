// The registry file on disk: reading it, and changing it under a lock with an
// atomic replace.
#pragma once
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "registry_file.h"

namespace comrt::registry {

// A failed registry operation: the Win32 error code, and for failures that come
// from the file itself a description for RegistryLastError (else empty).
class Failure : public std::runtime_error {
 public:
  explicit Failure(int32_t code, const std::string& message = {}) : std::runtime_error(message), code_(code) {}
  int32_t code() const noexcept { return code_; }

 private:
  int32_t code_;
};

std::string FilePath();

// The registry as the file holds it now; a missing file is an empty registry.
Hive Load();

// Whether the caller may change the file (see com/registry.h); throws Failure
// with ERROR_ACCESS_DENIED and a description when not.
void RequireWritable();

// Locks the file, reads it again, lets change edit the tree and, when change
// returns true, replaces the file with the edited tree. Failures thrown by change
// leave the file as it was.
void Update(const std::function<bool(Hive&)>& change);

}  // namespace comrt::registry
