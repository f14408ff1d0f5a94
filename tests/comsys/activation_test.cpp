#include "com/activation.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "com/error.h"
#include "com/boundary.h"
#include "com/oleauto.h"
#include "com/ptr.h"
#include "com/registry.h"
#include "temp_registry.h"
#include "test_server.h"

namespace {

using comrt::ComPtr;

class ActivationTest : public TempRegistry {
 protected:
  static HRESULT CallServer(const char* entry) {
    void* server = dlopen(TEST_SERVER, RTLD_NOW | RTLD_LOCAL);
    if (server == nullptr) return E_FAIL;
    const auto function = reinterpret_cast<HRESULT (*)()>(dlsym(server, entry));
    const HRESULT hr = function ? function() : E_FAIL;
    dlclose(server);
    return hr;
  }
  static bool ServerLoaded() {
    void* server = dlopen(TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    if (server != nullptr) dlclose(server);
    return server != nullptr;
  }
  static void Register(const CLSID& clsid, const std::string& path) {
    ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, "CLSID\\" + comrt::ToString(clsid) + "\\InprocServer32",
                                       nullptr, path),
              ERROR_SUCCESS);
  }
  static std::string ErrorDescription() { return comrt::TakeErrorDescription().value_or("<none>"); }
  static ComPtr<ICounter> NewCounter() {
    ComPtr<ICounter> counter;
    EXPECT_EQ(CoCreateInstance(CLSID_Counter, nullptr, CLSCTX_INPROC_SERVER, comrt::IidOf<ICounter>(),
                               reinterpret_cast<void**>(counter.put())),
              S_OK);
    return counter;
  }
};

TEST_F(ActivationTest, RegisteredClassIsCreatedByIdentifierAndCalledByVtable) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  ASSERT_EQ(CallServer("DllRegisterServer"), S_OK);
  std::string path;
  ASSERT_EQ(comrt::ReadRegistryText(HKEY_LOCAL_MACHINE,
                                    "SOFTWARE\\Classes\\CLSID\\" + comrt::ToString(CLSID_Counter) + "\\InprocServer32",
                                    nullptr, path),
            ERROR_SUCCESS);
  EXPECT_EQ(path, TEST_SERVER);

  ComPtr<ICounter> counter = NewCounter();
  ASSERT_TRUE(counter);
  LONG total = 0;
  EXPECT_EQ(counter->Add(2, &total), S_OK);
  EXPECT_EQ(counter->Add(3, &total), S_OK);
  EXPECT_EQ(total, 5);
  EXPECT_TRUE(counter.As<IUnknown>());

  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"qeltest.counter", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_Counter);
  LPOLESTR progid = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_Counter, &progid), S_OK);
  EXPECT_EQ(std::u16string(progid), u"QELTest.Counter");
  CoTaskMemFree(progid);

  counter.reset();
  ASSERT_EQ(CallServer("DllUnregisterServer"), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_Counter, nullptr, CLSCTX_ALL, comrt::IidOf<ICounter>(),
                             reinterpret_cast<void**>(counter.put())),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CLSIDFromProgID(u"QELTest.Counter", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(ProgIDFromCLSID(CLSID_Counter, &progid), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(ReadFile().find("{5E0B1C7A"), std::string::npos) << ReadFile();
  CoUninitialize();
}

TEST_F(ActivationTest, FailuresAreReportedWithTheirDocumentedCodes) {
  const CLSID unknown_to_server = comrt::ParseGuid("{5E0B1C7A-2D3F-4A6B-9C8D-7E6F5A4B3C99}");
  const CLSID missing_file = comrt::ParseGuid("{00000000-0000-0000-0000-0000000000A1}");
  const CLSID not_elf = comrt::ParseGuid("{00000000-0000-0000-0000-0000000000A2}");
  const CLSID no_entry = comrt::ParseGuid("{00000000-0000-0000-0000-0000000000A3}");
  const CLSID not_registered = comrt::ParseGuid("{00000000-0000-0000-0000-0000000000A4}");
  Register(CLSID_Counter, TEST_SERVER);
  Register(unknown_to_server, TEST_SERVER);
  Register(missing_file, folder_ + "/libgone.so");
  Register(not_elf, file_);
  Register(no_entry, RESOURCE_FIXTURE);

  struct Case {
    const char* what;
    CLSID clsid;
    IUnknown* outer;
    DWORD context;
    IID iid;
    HRESULT hr;
    std::string description;  // empty: not checked
  };
  ComPtr<ICounter> outer = nullptr;
  const Case cases[] = {
      {"not registered", not_registered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, REGDB_E_CLASSNOTREG,
       "is not registered"},
      {"local servers only", CLSID_Counter, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, REGDB_E_CLASSNOTREG, ""},
      {"file missing", missing_file, nullptr, CLSCTX_ALL, IID_IUnknown, CO_E_DLLNOTFOUND, "File not found: "},
      {"not a library", not_elf, nullptr, CLSCTX_ALL, IID_IUnknown, CO_E_ERRORINDLL, "Cannot load"},
      {"no DllGetClassObject", no_entry, nullptr, CLSCTX_ALL, IID_IUnknown, CO_E_ERRORINDLL, "DllGetClassObject"},
      {"class unknown to its server", unknown_to_server, nullptr, CLSCTX_ALL, IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE,
       ""},
      {"interface not offered", CLSID_Counter, nullptr, CLSCTX_ALL, IID_IDispatch, E_NOINTERFACE, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(c.clsid, c.outer, c.context, c.iid, &object), c.hr);
    EXPECT_EQ(object, nullptr);
    if (!c.description.empty()) {
      EXPECT_NE(ErrorDescription().find(c.description), std::string::npos);
    }
  }
  EXPECT_EQ(CoCreateInstance(CLSID_Counter, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(CoGetClassObject(CLSID_Counter, CLSCTX_ALL, nullptr, IID_IClassFactory, nullptr), E_POINTER);

  WriteFile("not a registry file\n");
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_Counter, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_READREGDB);
  EXPECT_NE(ErrorDescription().find("line 1"), std::string::npos);
}

TEST_F(ActivationTest, ServerFailurePassesThroughWithItsErrorInfo) {
  ASSERT_EQ(CallServer("DllRegisterServer"), S_OK);
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_Failing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            kErrorHresultBase + comrt::kFileNotFound);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(ErrorDescription(), "File not found: libmissing.so");
}

TEST_F(ActivationTest, ServerIsUnloadedOnlyWhenItSaysItCanBe) {
  ASSERT_EQ(CallServer("DllRegisterServer"), S_OK);
  ASSERT_FALSE(ServerLoaded());
  ComPtr<ICounter> counter = NewCounter();
  LONG total = 0;
  ASSERT_EQ(counter->Add(7, &total), S_OK);
  EXPECT_TRUE(ServerLoaded());
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ServerLoaded()) << "an object is alive";

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_Counter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(factory.put())),
            S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  counter.reset();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ServerLoaded()) << "a server lock is held";

  ASSERT_EQ(CoGetClassObject(CLSID_Counter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(factory.put())),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.reset();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ServerLoaded());

  counter = NewCounter();
  ASSERT_EQ(counter->Add(1, &total), S_OK);
  EXPECT_EQ(total, 1) << "a new load starts the module variables again";
}

TEST(ApartmentTest, InitialisationIsCountedPerThreadAndKeepsItsModel) {
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

}  // namespace
