// RegisterTypeLib, LoadRegTypeLib and UnRegisterTypeLib on a temporary registry,
// with the library a test server carries.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "com/oleauto.h"
#include "com/ptr.h"
#include "com/registry.h"
#include "temp_registry.h"

namespace {

using comrt::ComPtr;

constexpr const char* kLibid = "{6A1C2F3E-0B7D-4C55-9E21-3F0A6B1D2C40}";
const GUID kWidgetLib = comrt::ParseGuid(kLibid);

class TypeLibRegistryTest : public TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    ASSERT_EQ(LoadTypeLib(comrt::Utf8ToUtf16(WIDGET_SERVER).c_str(), library.put()), S_OK);
    // Another version of the same library and an interface of another library.
    ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibid + "\\2.0\\0\\win32",
                                       nullptr, "/opt/other/libwidget2.so"),
              ERROR_SUCCESS);
    ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, "Interface\\{0D5B1E2A-0000-4000-8000-000000000003}\\TypeLib",
                                       nullptr, "{0D5B1E2A-0000-4000-8000-000000000002}"),
              ERROR_SUCCESS);
    ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, "Interface\\{0D5B1E2A-0000-4000-8000-000000000003}\\TypeLib",
                                       "Version", "1.0"),
              ERROR_SUCCESS);
  }
  static std::string Text(const std::string& key, const char* value = nullptr) {
    std::string text;
    return comrt::ReadRegistryText(HKEY_CLASSES_ROOT, key, value, text) == ERROR_SUCCESS ? text : "<missing>";
  }
  HRESULT Register() const {
    return RegisterTypeLib(library.get(), comrt::Utf8ToUtf16(WIDGET_SERVER).c_str(), nullptr);
  }

  ComPtr<ITypeLib> library;
};

TEST_F(TypeLibRegistryTest, RegisteredLibraryIsFoundAndUnregisteringRestoresTheRegistry) {
  const std::string before = ReadFile();
  ASSERT_EQ(Register(), S_OK);
  const std::string version = std::string("TypeLib\\") + kLibid + "\\1.0";
  EXPECT_EQ(Text(version), "WidgetLib");
  EXPECT_EQ(Text(version + "\\0\\win32"), WIDGET_SERVER);
  EXPECT_EQ(Text(version + "\\FLAGS"), "0");
  EXPECT_EQ(Text(version + "\\HELPDIR"), std::filesystem::path(WIDGET_SERVER).parent_path().string());
  for (const auto& [iid, name] : {std::pair{"{6A1C2F3E-0B7D-4C55-9E21-3F0A6B1D2C44}", "_Widget"},
                                  std::pair{"{6A1C2F3E-0B7D-4C55-9E21-3F0A6B1D2C45}", "__Widget"}}) {
    SCOPED_TRACE(name);
    const std::string key = std::string("Interface\\") + iid;
    EXPECT_EQ(Text(key), name);
    EXPECT_EQ(Text(key + "\\TypeLib"), kLibid);
    EXPECT_EQ(Text(key + "\\TypeLib", "Version"), "1.0");
    EXPECT_EQ(Text(key + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
  }
  EXPECT_EQ(Text("Interface\\{6A1C2F3E-0B7D-4C55-9E21-3F0A6B1D2C46}"), "<missing>") << "a class is no interface";

  struct Lookup {
    WORD major, minor;
    LCID lcid;
    HRESULT hr;
  };
  const Lookup lookups[] = {
      {1, 0, 0, S_OK},
      {1, 0, 0x0409, S_OK},  // falls back to the neutral locale
      {1, 1, 0, TYPE_E_LIBNOTREGISTERED},
      {3, 0, 0, TYPE_E_LIBNOTREGISTERED},
  };
  for (const Lookup& l : lookups) {
    SCOPED_TRACE(std::to_string(l.major) + "." + std::to_string(l.minor) + " locale " + std::to_string(l.lcid));
    ComPtr<ITypeLib> found;
    EXPECT_EQ(LoadRegTypeLib(kWidgetLib, l.major, l.minor, l.lcid, found.put()), l.hr);
    if (l.hr != S_OK) continue;
    BSTR name = nullptr;
    ASSERT_EQ(found->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(comrt::Utf16ToUtf8(name), "WidgetLib");
    SysFreeString(name);
  }
  EXPECT_EQ(LoadRegTypeLib(kWidgetLib, 1, 0, 0, nullptr), E_POINTER);

  EXPECT_EQ(UnRegisterTypeLib(kWidgetLib, 1, 0, 0, SYS_WIN32), S_OK);
  EXPECT_EQ(ReadFile(), before);
  EXPECT_EQ(UnRegisterTypeLib(kWidgetLib, 1, 0, 0, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(ReadFile(), before);
}

TEST_F(TypeLibRegistryTest, ARegistryThatCannotBeWrittenIsLeftAsItWas) {
  const std::string before = ReadFile();
  chmod(file_.c_str(), 0444);
  chmod(folder_.c_str(), 0555);
  EXPECT_EQ(Register(), TYPE_E_REGISTRYACCESS);
  EXPECT_EQ(ReadFile(), before);
  EXPECT_EQ(RegisterTypeLib(nullptr, u"/x", nullptr), E_INVALIDARG);
}

}  // namespace
