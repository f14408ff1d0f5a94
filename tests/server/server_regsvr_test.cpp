// Registration as an installer does it: the regsvr tool on the server file.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "com/activation.h"
#include "com/oleauto.h"
#include "com/ptr.h"
#include "com/registry.h"
#include "temp_registry.h"
#include "typelib_expectations.h"

extern char** environ;

namespace {

int Regsvr(const std::vector<std::string>& arguments) {
  std::vector<std::string> words = {REGSVR};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, REGSVR, nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class RegsvrTest : public TempRegistry {};

TEST_F(RegsvrTest, RegistersTheRootAndTheTypeLibraryAndUnregistersWithoutTrace) {
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, "CLSID\\{0D5B1E2A-0000-4000-8000-000000000001}\\InprocServer32",
                                     nullptr, "/opt/other/libother.so"),
            ERROR_SUCCESS);
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, "TypeLib\\{0D5B1E2A-0000-4000-8000-000000000002}\\1.0\\0\\win32",
                                     nullptr, "/opt/other/libother.so"),
            ERROR_SUCCESS);
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, "Interface\\{0D5B1E2A-0000-4000-8000-000000000003}", nullptr,
                                     "_Other"),
            ERROR_SUCCESS);
  const std::string before = ReadFile();

  ASSERT_EQ(Regsvr({QUORLINK_SERVER}), 0);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"QELCom.QELRurUzoz", &clsid), S_OK);
  EXPECT_EQ(clsid, comrt::ParseGuid("{3B76B453-B626-4D76-8EE7-11414A250AD1}"));
  comrt::ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(comrt::ParseGuid("{57A57BF4-4E19-47D6-9C74-93E78C953273}"), 1, 0, 0, library.put()), S_OK);
  ExpectQELComLibrary(library.get());
  library.reset();

  ASSERT_EQ(Regsvr({"-u", QUORLINK_SERVER}), 0);
  EXPECT_EQ(ReadFile(), before);
  EXPECT_EQ(CLSIDFromProgID(u"QELCom.QELRurUzoz", &clsid), CO_E_CLASSSTRING);
  EXPECT_TRUE(FAILED(LoadRegTypeLib(comrt::ParseGuid("{57A57BF4-4E19-47D6-9C74-93E78C953273}"), 1, 0, 0,
                                    library.put())));
}

}  // namespace
