#include "com/error.h"

namespace comrt {

void ThrowOverflow() { throw Error(kOverflow, "Overflow"); }
void ThrowSubscriptOutOfRange() { throw Error(kSubscriptOutOfRange, "Subscript out of range"); }
void ThrowTypeMismatch() { throw Error(kTypeMismatch, "Type mismatch"); }
void ThrowPermissionDenied() { throw Error(kPermissionDenied, "Permission denied"); }
void ThrowBadVarType() { throw Error(kBadVarType, "Variable uses an Automation type not supported"); }
void ThrowFileNotFound(const std::string& library) { throw Error(kFileNotFound, "File not found: " + library); }
void ThrowEntryPointNotFound(const std::string& entry, const std::string& library) {
  throw Error(kEntryPointNotFound, "Can't find DLL entry point " + entry + " in " + library);
}

}  // namespace comrt
