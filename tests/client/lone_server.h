// Registering a server file for a client test: from where the build put it, or as
// a copy alone in a temporary folder (with chosen companions), so that the
// libraries it loads by name are missing unless this process already has them.
#pragma once
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "com/boundary.h"
#include "com/oleauto.h"
#include "com/ptr.h"
#include "qel/system.h"
#include "temp_registry.h"

// A current NT-family system (version code 0), on which the SMBus searches the
// PCI buses and so needs its library.
inline BOOL CurrentNt(OSVERSIONINFOA* info) {
  info->dwPlatformId = 2;
  info->dwMajorVersion = 10;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = 19045;
  info->szCSDVersion[0] = '\0';
  return TRUE;
}

class ClientTest : public TempRegistry {
 protected:
  // Calls an entry point of the file without keeping it loaded.
  static HRESULT CallServer(const std::string& path, const char* entry) {
    void* server = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (server == nullptr) return E_FAIL;
    const auto function = reinterpret_cast<HRESULT (*)()>(dlsym(server, entry));
    const HRESULT hr = function ? function() : E_FAIL;
    dlclose(server);
    return hr;
  }
  static bool Loaded(const std::string& path) {
    void* server = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (server != nullptr) dlclose(server);
    return server != nullptr;
  }

  // The server file copied into the temporary folder with the named files from
  // beside it, and registered from there.
  std::string RegisterLoneServer(const std::vector<std::string>& companions) {
    const std::filesystem::path source(QUORLINK_SERVER);
    const std::filesystem::path lone = std::filesystem::path(folder_) / "server";
    std::filesystem::create_directories(lone);
    std::filesystem::copy_file(source, lone / source.filename());
    for (const std::string& name : companions) std::filesystem::copy_file(source.parent_path() / name, lone / name);
    const std::string path = (lone / source.filename()).string();
    EXPECT_EQ(CallServer(path, "DllRegisterServer"), S_OK);
    return path;
  }

  static std::string ErrorDescription() { return comrt::TakeErrorDescription().value_or("<no error information>"); }
};
