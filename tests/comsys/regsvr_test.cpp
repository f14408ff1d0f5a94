#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "com/activation.h"
#include "com/boundary.h"
#include "com/registry.h"
#include "command_output.h"
#include "temp_registry.h"
#include "test_server.h"

namespace {

CommandOutput Regsvr(const std::string& args, const std::string& folder = ".") {
  return RunCommand("cd '" + folder + "' && " + REGSVR + " " + args + " 2>&1");
}

std::string RegisteredPath() {
  std::string path;
  comrt::ReadRegistryText(HKEY_CLASSES_ROOT, "CLSID\\" + comrt::ToString(CLSID_Counter) + "\\InprocServer32", nullptr,
                          path);
  return path;
}

using RegsvrTest = TempRegistry;

TEST_F(RegsvrTest, RegistersByFullPathAndUnregisters) {
  const std::filesystem::path server = TEST_SERVER;
  const CommandOutput registered = Regsvr(server.filename().string(), server.parent_path().string());
  EXPECT_EQ(registered.exit_code, 0);
  EXPECT_EQ(registered.output, "DllRegisterServer in " + server.string() + " succeeded.\n");
  EXPECT_EQ(RegisteredPath(), server.string());

  const CommandOutput unregistered = Regsvr("-u " + server.string());
  EXPECT_EQ(unregistered.exit_code, 0);
  EXPECT_EQ(unregistered.output, "DllUnregisterServer in " + server.string() + " succeeded.\n");
  EXPECT_EQ(RegisteredPath(), "");
}

TEST_F(RegsvrTest, FailuresExitNonZeroAndSayWhy) {
  const std::string server = TEST_SERVER;
  WriteFile("Windows Registry Editor Version 5.00\n\n");
  ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
  struct Case {
    std::string args;
    int exit_code;
    std::string says;
  };
  const Case cases[] = {
      {server, 1, "failed: 0x8002801C (error accessing the registry for the type library).\n  Cannot change"},
      {server, 1, "registry file " + file_ + " is read-only for this user\n"},
      {folder_ + "/missing.so", 1, "No such file or directory"},
      {file_, 1, "cannot load"},
      {RESOURCE_FIXTURE, 1, "has no entry point DllRegisterServer"},
      {"-u " + std::string(RESOURCE_FIXTURE), 1, "has no entry point DllUnregisterServer"},
      {"", 2, "usage: regsvr [-u] path"},
      {"-u", 2, "usage"},
      {"-x " + server, 2, "usage"},
      {server + " " + server, 2, "usage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CommandOutput outcome = Regsvr(c.args);
    EXPECT_EQ(outcome.exit_code, c.exit_code);
    EXPECT_NE(outcome.output.find(c.says), std::string::npos) << outcome.output;
  }
}

TEST_F(RegsvrTest, ActivationRacingUnregistrationFindsTheClassOrHearsItIsNotRegistered) {
  const std::string server = TEST_SERVER;
  ASSERT_EQ(Regsvr(server).exit_code, 0);
  const std::string loop = "for i in $(seq 25); do " + std::string(REGSVR) + " -u " + server + " && " + REGSVR + " " +
                           server + " || exit 1; done >/dev/null";
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", loop.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int registered = 0, not_registered = 0, status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    IClassFactory* factory = nullptr;
    const HRESULT hr =
        CoGetClassObject(CLSID_Counter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (hr == S_OK) {
      factory->Release();
      ++registered;
    } else {
      ASSERT_EQ(hr, REGDB_E_CLASSNOTREG) << comrt::TakeErrorDescription().value_or("");
      EXPECT_NE(comrt::TakeErrorDescription().value_or("").find("is not registered"), std::string::npos);
      ++not_registered;
    }
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_GT(registered, 0);
  EXPECT_GT(not_registered, 0);
}

}  // namespace
