#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "com/oleauto.h"
#include "com/registry.h"
#include "com/typedata.h"
#include "temp_registry.h"
#include "test_library.h"

namespace {

using comrt::ComPtr;

const std::string kLib = comrt::ToString(LIBID_CounterLib);

std::string Value(const std::string& key, const char* name = nullptr) {
  std::string text;
  const LSTATUS status = comrt::ReadRegistryText(HKEY_CLASSES_ROOT, key, name, text);
  return status == ERROR_SUCCESS ? text : "<" + std::to_string(status) + ">";
}

bool Exists(const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

HRESULT Register(WORD major, WORD minor, LCID lcid, const std::u16string& path) {
  comrt::LibraryData data = CounterLibrary();
  data.major = major;
  data.minor = minor;
  data.lcid = lcid;
  return RegisterTypeLib(comrt::CreateTypeLib(data).get(), path.c_str(), nullptr);
}

std::u16string ServerPath() { return comrt::Utf8ToUtf16(TEST_SERVER); }

class TypeLibRegistrationTest : public TempRegistry {};

TEST_F(TypeLibRegistrationTest, RecordsTheLibraryAndItsAutomationInterfaces) {
  ASSERT_EQ(Register(1, 0, 0, u"/opt/qel/libCounter.so"), S_OK);
  const std::string version = "TypeLib\\" + kLib + "\\1.0";
  EXPECT_EQ(Value(version), "CounterLib");
  EXPECT_EQ(Value(version + "\\0\\win32"), "/opt/qel/libCounter.so");
  EXPECT_EQ(Value(version + "\\FLAGS"), "0");
  EXPECT_EQ(Value(version + "\\HELPDIR"), "/opt/qel") << "the file's folder when no help folder is given";

  for (const auto& [iid, name] : {std::pair{IID_CounterDual, "_Counter"}, std::pair{IID_CounterEvents, "__Counter"}}) {
    const std::string key = "Interface\\" + comrt::ToString(iid);
    SCOPED_TRACE(key);
    EXPECT_EQ(Value(key), name);
    EXPECT_EQ(Value(key + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(Value(key + "\\ProxyStubClsid"), "{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(Value(key + "\\TypeLib"), kLib);
    EXPECT_EQ(Value(key + "\\TypeLib", "Version"), "1.0");
  }
  EXPECT_FALSE(Exists("Interface\\" + comrt::ToString(IID_Plain))) << "not for the automation marshaler";
  EXPECT_FALSE(Exists("Interface\\" + comrt::ToString(CLSID_Counter))) << "a class is no interface";

  ASSERT_EQ(Register(0x1a, 0xb, 0x409, u"/x"), S_OK);
  EXPECT_EQ(Value("TypeLib\\" + kLib + "\\1a.b\\409\\win32"), "/x");
  EXPECT_EQ(RegisterTypeLib(nullptr, u"/x", nullptr), E_INVALIDARG);
}

TEST_F(TypeLibRegistrationTest, ServerRegistersItsOwnLibraryWhichLoadsBackFromTheRegistry) {
  void* server = dlopen(TEST_SERVER, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(server, nullptr);
  const auto call = [&](const char* entry) { return reinterpret_cast<HRESULT (*)()>(dlsym(server, entry))(); };
  ASSERT_EQ(call("DllRegisterServer"), S_OK);
  EXPECT_EQ(Value("TypeLib\\" + kLib + "\\1.0\\0\\win32"), TEST_SERVER);

  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(LIBID_CounterLib, 1, 0, 0, lib.put()), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, LIBID_CounterLib);
  lib->ReleaseTLibAttr(attr);
  EXPECT_EQ(lib->GetTypeInfoCount(), 4u);

  ASSERT_EQ(call("DllUnregisterServer"), S_OK);
  EXPECT_FALSE(Exists("TypeLib\\" + kLib));
  EXPECT_FALSE(Exists("Interface\\" + comrt::ToString(IID_CounterDual)));
  EXPECT_EQ(LoadRegTypeLib(LIBID_CounterLib, 1, 0, 0, lib.put()), TYPE_E_LIBNOTREGISTERED);
  dlclose(server);
}

TEST_F(TypeLibRegistrationTest, LoadPicksTheVersionAndLocaleAsDocumented) {
  const std::u16string missing = comrt::Utf8ToUtf16(folder_ + "/missing.so");
  ASSERT_EQ(Register(1, 0, 0, missing), S_OK);
  ASSERT_EQ(Register(1, 2, 0, missing), S_OK);
  ASSERT_EQ(Register(1, 3, 0, ServerPath()), S_OK);
  ASSERT_EQ(Register(2, 0, 0x409, missing), S_OK);
  ASSERT_EQ(Register(2, 0, 0x9, ServerPath()), S_OK);
  struct Case {
    WORD major, minor;
    LCID lcid;
    bool loads;  // false: found, but pointing at the missing file
    HRESULT not_registered;
  };
  const Case cases[] = {
      {1, 0, 0, false, S_OK},                     // the exact version
      {1, 1, 0, true, S_OK},                      // the highest minor version above: 1.3, not 1.2
      {1, 3, 0x409, true, S_OK},                  // a locale not registered falls back to neutral
      {1, 4, 0, false, TYPE_E_LIBNOTREGISTERED},  // no minor version that high
      {3, 0, 0, false, TYPE_E_LIBNOTREGISTERED},  // no such major version
      {2, 0, 0x409, false, S_OK},                 // the exact locale
      {2, 0, 0x809, true, S_OK},                  // its primary language
      {2, 0, 0x407, false, TYPE_E_LIBNOTREGISTERED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + " lcid " + std::to_string(c.lcid));
    ComPtr<ITypeLib> lib;
    const HRESULT hr = LoadRegTypeLib(LIBID_CounterLib, c.major, c.minor, c.lcid, lib.put());
    if (c.not_registered != S_OK) {
      EXPECT_EQ(hr, c.not_registered);
    } else if (c.loads) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_TRUE(lib);
    } else {
      EXPECT_TRUE(FAILED(hr));
      EXPECT_NE(hr, TYPE_E_LIBNOTREGISTERED);
    }
  }
  EXPECT_EQ(LoadRegTypeLib(LIBID_CounterLib, 1, 0, 0, nullptr), E_POINTER);
}

TEST_F(TypeLibRegistrationTest, UnregisteringRemovesExactlyThatRegistration) {
  const std::string other = "Interface\\{00000000-0000-0000-0000-0000000000B1}";
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, other + "\\TypeLib", nullptr, kLib), ERROR_SUCCESS);
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, other + "\\TypeLib", "Version", "9.0"), ERROR_SUCCESS);
  ASSERT_EQ(Register(1, 0, 0, u"/a"), S_OK);
  ASSERT_EQ(Register(1, 0, 0x409, u"/b"), S_OK);
  const std::string version = "TypeLib\\" + kLib + "\\1.0";
  const std::string dual = "Interface\\" + comrt::ToString(IID_CounterDual);

  EXPECT_EQ(UnRegisterTypeLib(LIBID_CounterLib, 1, 0, 0x409, SYS_WIN32), S_OK);
  EXPECT_FALSE(Exists(version + "\\409"));
  EXPECT_EQ(Value(version + "\\0\\win32"), "/a");
  EXPECT_TRUE(Exists(dual)) << "the neutral registration still uses it";

  EXPECT_EQ(UnRegisterTypeLib(LIBID_CounterLib, 1, 0, 0, SYS_WIN64), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(UnRegisterTypeLib(LIBID_CounterLib, 1, 0, 0, SYS_WIN32), S_OK);
  EXPECT_FALSE(Exists("TypeLib\\" + kLib));
  EXPECT_FALSE(Exists(dual));
  EXPECT_FALSE(Exists("Interface\\" + comrt::ToString(IID_CounterEvents)));
  EXPECT_TRUE(Exists(other)) << "another version's interface stays";
  EXPECT_EQ(UnRegisterTypeLib(LIBID_CounterLib, 1, 0, 0, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(TypeLibRegistrationTest, ReadOnlyRegistryFailsWithErrorInfo) {
  WriteFile("Windows Registry Editor Version 5.00\n\n");
  ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
  EXPECT_EQ(Register(1, 0, 0, u"/a"), TYPE_E_REGISTRYACCESS);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  BSTR text = nullptr;
  info->GetDescription(&text);
  EXPECT_NE(comrt::Utf16ToUtf8(text).find("read-only"), std::string::npos) << comrt::Utf16ToUtf8(text);
  SysFreeString(text);
  EXPECT_EQ(ReadFile(), "Windows Registry Editor Version 5.00\n\n");
}

}  // namespace
