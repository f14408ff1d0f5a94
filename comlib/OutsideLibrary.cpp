#include "OutsideLibrary.h"

#include <dlfcn.h>

#include "com/error.h"

namespace quorlink {

void* OutsideLibrary::Find(const char* entry) {
  if (handle_ == nullptr) {
    handle_ = dlopen(fileName_, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) comrt::ThrowFileNotFound(fileName_);
  }
  return dlsym(handle_, entry);
}

void* OutsideLibrary::Lookup(const char* entry) {
  void* address = Find(entry);
  if (address == nullptr) comrt::ThrowEntryPointNotFound(entry, fileName_);
  return address;
}

}  // namespace quorlink
