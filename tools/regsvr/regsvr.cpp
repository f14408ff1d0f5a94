// regsvr [-u] path: registers (or with -u unregisters) an in-process server by
// calling its DllRegisterServer (DllUnregisterServer), and says how that went.
// Exits 0 on success, 1 on any failure, 2 on wrong usage.
#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "com/activation.h"
#include "com/boundary.h"
#include "com/oleauto.h"
#include "com/registry.h"

namespace {

std::string Meaning(HRESULT hr) {
  struct Known {
    HRESULT hr;
    const char* meaning;
  };
  static const Known known[] = {
      {E_FAIL, "unspecified failure"},
      {E_OUTOFMEMORY, "out of memory"},
      {E_INVALIDARG, "invalid argument"},
      {E_ACCESSDENIED, "access denied"},
      {E_UNEXPECTED, "unexpected failure"},
      {E_NOTIMPL, "not implemented"},
      {MakeHresult(0x80040200), "the type library could not be registered"},
      {MakeHresult(0x80040201), "a class could not be registered"},
      {TYPE_E_REGISTRYACCESS, "error accessing the registry for the type library"},
      {TYPE_E_CANTLOADLIBRARY, "the type library could not be loaded"},
      {TYPE_E_INVDATAREAD, "the type library could not be read"},
      {REGDB_E_READREGDB, "the registry could not be read"},
      {REGDB_E_WRITEREGDB, "the registry could not be written"},
      {MakeHresult(0x80070000 | ERROR_BADDB), "the registry file is malformed"},
      {MakeHresult(0x80070000 | ERROR_REGISTRY_IO_FAILED), "the registry file could not be read or written"},
  };
  for (const Known& k : known) {
    if (k.hr == hr) return k.meaning;
  }
  if ((static_cast<uint32_t>(hr) & 0xFFFF0000u) == static_cast<uint32_t>(kErrorHresultBase)) {
    return "error " + std::to_string(hr & 0xFFFF);
  }
  return "";
}

// The server's own description of its failure, where it left one.
std::string ErrorInfoDescription() { return comrt::TakeErrorDescription().value_or(""); }

int Usage() {
  std::fputs("usage: regsvr [-u] path\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  int at = 1;
  if (at < argc && std::strcmp(argv[at], "-u") == 0) {
    unregister = true;
    ++at;
  }
  if (argc - at != 1 || argv[at][0] == '-') return Usage();
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";

  // The server records its own path, so it is loaded by its full one.
  char full[PATH_MAX];
  if (realpath(argv[at], full) == nullptr) {
    std::fprintf(stderr, "regsvr: %s: %s\n", argv[at], std::strerror(errno));
    return 1;
  }
  void* server = dlopen(full, RTLD_NOW | RTLD_LOCAL);
  if (server == nullptr) {
    std::fprintf(stderr, "regsvr: cannot load %s: %s\n", full, dlerror());
    return 1;
  }
  const auto function = reinterpret_cast<HRESULT (*)()>(dlsym(server, entry));
  if (function == nullptr) {
    std::fprintf(stderr, "regsvr: %s has no entry point %s\n", full, entry);
    dlclose(server);
    return 1;
  }
  const HRESULT hr = function();
  if (SUCCEEDED(hr)) {
    std::printf("%s in %s succeeded.\n", entry, full);
  } else {
    const std::string meaning = Meaning(hr);
    std::printf("%s in %s failed: 0x%08X%s.\n", entry, full, static_cast<unsigned>(hr),
                meaning.empty() ? "" : (" (" + meaning + ")").c_str());
    const std::string description = ErrorInfoDescription();
    if (!description.empty()) std::printf("  %s\n", description.c_str());
    const std::string registry = comrt::RegistryLastError();
    if (!registry.empty() && description.find(registry) == std::string::npos) std::printf("  %s\n", registry.c_str());
  }
  dlclose(server);
  return SUCCEEDED(hr) ? 0 : 1;
}
