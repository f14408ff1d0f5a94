#include "OutsideLibrary.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "com/error.h"

namespace quorlink {

namespace {

// dlopen looks a bare file name up through the run path of the object that calls
// it. Where dlopen is interposed (the sanitizers' runtime does that), the
// interposer is the caller and this object's run path is lost, so a name not
// found is looked for again in the folders this object's own search would visit.
void* OpenThroughOwnSearchPath(const char* fileName) {
  Dl_info info{};
  link_map* self = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&OpenThroughOwnSearchPath), &info, reinterpret_cast<void**>(&self),
              RTLD_DL_LINKMAP) == 0 ||
      self == nullptr) {
    return nullptr;
  }
  Dl_serinfo size{};
  if (dlinfo(self, RTLD_DI_SERINFOSIZE, &size) != 0) return nullptr;
  std::unique_ptr<Dl_serinfo, decltype(&std::free)> paths(static_cast<Dl_serinfo*>(std::malloc(size.dls_size)),
                                                          &std::free);
  if (!paths || dlinfo(self, RTLD_DI_SERINFOSIZE, paths.get()) != 0 ||
      dlinfo(self, RTLD_DI_SERINFO, paths.get()) != 0) {
    return nullptr;
  }
  for (unsigned i = 0; i < paths->dls_cnt; ++i) {
    const std::string candidate = std::string(paths->dls_serpath[i].dls_name) + "/" + fileName;
    if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  }
  return nullptr;
}

}  // namespace

void* OutsideLibrary::Find(const char* entry) {
  const std::lock_guard lock(opening_);
  if (handle_ == nullptr) {
    handle_ = dlopen(fileName_, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) handle_ = OpenThroughOwnSearchPath(fileName_);
    if (handle_ == nullptr) comrt::ThrowFileNotFound(fileName_);
  }
  return dlsym(handle_, entry);
}

void* OutsideLibrary::Lookup(const char* entry) {
  void* address = Find(entry);
  if (address == nullptr) comrt::ThrowEntryPointNotFound(entry, fileName_);
  return address;
}

namespace {
int32_t NoError() { return 0; }
}  // namespace

LastError::Function LastError::Bind() {
  Function function = reinterpret_cast<Function>(library_.Find(name_));
  if (function == nullptr) function = NoError;
  function_.store(function, std::memory_order_release);
  return function;
}

void LastError::Throw(int32_t number) {
  if (number == comrt::kPermissionDenied) comrt::ThrowPermissionDenied();
  throw comrt::Error(number, "Device I/O error");
}

}  // namespace quorlink
