// The server file through its four entry points: class objects, unloading,
// self-registration on a temporary registry, and the resources it carries.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "com/activation.h"
#include "com/oleauto.h"
#include "com/ptr.h"
#include "com/registry.h"
#include "com/resource.h"
#include "quorlink/interfaces.h"
#include "temp_registry.h"
#include "typelib_expectations.h"
#include "version_info.h"
#include "virtual_board.h"

namespace {

using comrt::ComPtr;

// The server file loaded directly, for calls of its entry points.
class ServerFile {
 public:
  ServerFile() : handle_(dlopen(QUORLINK_SERVER, RTLD_NOW | RTLD_LOCAL)) {}
  ~ServerFile() {
    if (handle_) dlclose(handle_);
  }
  bool loaded() const { return handle_ != nullptr; }

  HRESULT Register() const { return Entry<HRESULT (*)()>("DllRegisterServer")(); }
  HRESULT Unregister() const { return Entry<HRESULT (*)()>("DllUnregisterServer")(); }
  HRESULT CanUnloadNow() const { return Entry<LPFNCANUNLOADNOW>("DllCanUnloadNow")(); }
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const {
    return Entry<LPFNGETCLASSOBJECT>("DllGetClassObject")(clsid, iid, ppv);
  }
  ComPtr<IClassFactory> Factory(REFCLSID clsid) const {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.put())), S_OK);
    return factory;
  }

 private:
  template <class F>
  F Entry(const char* name) const {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }
  void* handle_;
};

std::string ServerPath() { return std::filesystem::absolute(QUORLINK_SERVER).lexically_normal().string(); }

struct ClassCase {
  const char* name;
  const char* clsid;
  IID defaultInterface;
};
const ClassCase kClasses[] = {
    {"QELRurUzoz", "{3B76B453-B626-4D76-8EE7-11414A250AD1}", IID__QELRurUzoz},
    {"DataPort", "{80470359-9076-431E-9F39-2CAC76CB6731}", IID__DataPort},
    {"StatusPort", "{E5622DC2-5A0E-4E2E-86BE-ABA429D9965B}", IID__StatusPort},
    {"ControlPort", "{7CDDD38E-135C-4260-A201-A346945ED4A5}", IID__ControlPort},
    {"USB", "{DBDDE185-6653-4EEB-83D7-22CC0B2D6144}", IID__USB},
    {"PrinterPort", "{4499A2CF-1855-4A40-9702-C952A4CA8080}", IID__PrinterPort},
    {"SMBusProtocall", "{2213E903-8F39-482F-A02E-281ED19F1745}", IID__SMBusProtocall},
    {"SMBus", "{EA17C23D-5CC5-45B3-B047-319FF905CF48}", IID__SMBus},
    {"EEPROM", "{A1C26788-C49A-44C1-B6DE-7D5B8CB825BD}", IID__EEPROM},
};

TEST(EntryPointsTest, EachClassHasAFactoryMakingItsObjectAndNothingElseHasOne) {
  ServerFile server;
  ASSERT_TRUE(server.loaded()) << dlerror();
  for (const ClassCase& c : kClasses) {
    SCOPED_TRACE(c.name);
    const CLSID clsid = comrt::ParseGuid(c.clsid);
    ComPtr<IClassFactory> factory = server.Factory(clsid);
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(server.GetClassObject(clsid, IID_IUnknown, reinterpret_cast<void**>(unknown.put())), S_OK);
    EXPECT_TRUE(unknown);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(server.GetClassObject(clsid, IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    ComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, c.defaultInterface, reinterpret_cast<void**>(object.put())), S_OK);
    ComPtr<ISupportErrorInfo> errors = object.As<ISupportErrorInfo>();
    ASSERT_TRUE(errors);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(c.defaultInterface), S_OK);

    void* aggregated = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(object.get(), IID_IUnknown, &aggregated), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(aggregated, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  }

  const GUID not_classes[] = {LIBID_QELCom, IID__QELRurUzoz, IID__EEPROM, IID___SMBusProtocall, GUID_NULL,
                              comrt::ParseGuid("{3B76B453-B626-4D76-8EE7-11414A250AD2}")};
  for (const GUID& id : not_classes) {
    SCOPED_TRACE(comrt::ToString(id));
    void* factory = reinterpret_cast<void*>(1);
    EXPECT_EQ(server.GetClassObject(id, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
  }
  EXPECT_EQ(server.GetClassObject(CLSID_QELRurUzoz, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

// Each way a client can keep part of the library alive: the root itself, or a
// sub-object it handed out after the root is gone.
TEST(EntryPointsTest, CanUnloadNowOnlyWithNoObjectAliveAndNoLock) {
  ServerFile server;
  ASSERT_TRUE(server.loaded()) << dlerror();
  EXPECT_EQ(server.CanUnloadNow(), S_OK) << "after load";

  using Fetch = std::function<ComPtr<IUnknown>(_QELRurUzoz*)>;
  const auto printer_port = [](_QELRurUzoz* root) {
    ComPtr<_PrinterPort> port;
    EXPECT_EQ(root->get_PrinterPort(port.put()), S_OK);
    return port;
  };
  const std::pair<const char*, Fetch> kept[] = {
      {"the root", [](_QELRurUzoz* root) { return ComPtr<IUnknown>(root); }},
      {"PrinterPort", [&](_QELRurUzoz* root) { return ComPtr<IUnknown>(printer_port(root)); }},
      {"USB",
       [](_QELRurUzoz* root) {
         ComPtr<_USB> usb;
         EXPECT_EQ(root->get_USB(usb.put()), S_OK);
         return ComPtr<IUnknown>(usb);
       }},
      {"SMBus",
       [](_QELRurUzoz* root) {
         ComPtr<_SMBus> smbus;
         EXPECT_EQ(root->get_SMBus(smbus.put()), S_OK);
         return ComPtr<IUnknown>(smbus);
       }},
      {"PrinterPort.SMBusProtocall",
       [&](_QELRurUzoz* root) {
         ComPtr<_SMBusProtocall> bus;
         EXPECT_EQ(printer_port(root)->get_SMBusProtocall(bus.put()), S_OK);
         return ComPtr<IUnknown>(bus);
       }},
      {"PrinterPort.StatusPort",
       [&](_QELRurUzoz* root) {
         ComPtr<_StatusPort> status;
         EXPECT_EQ(printer_port(root)->get_StatusPort(status.put()), S_OK);
         return ComPtr<IUnknown>(status);
       }},
  };
  ASSERT_TRUE(server.Factory(CLSID_QELRurUzoz));
  for (const auto& [what, fetch] : kept) {
    SCOPED_TRACE(what);
    ComPtr<_QELRurUzoz> root;
    ASSERT_EQ(server.Factory(CLSID_QELRurUzoz)->CreateInstance(nullptr, IID__QELRurUzoz,
                                                                reinterpret_cast<void**>(root.put())),
              S_OK);
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
    ComPtr<IUnknown> held = fetch(root.get());
    ASSERT_TRUE(held);
    root.reset();
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
    held.reset();
    EXPECT_EQ(server.CanUnloadNow(), S_OK);
  }

  ComPtr<IClassFactory> factory = server.Factory(CLSID_QELRurUzoz);
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE) << "a class factory held";
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE) << "two locks";
  EXPECT_EQ(server.Factory(CLSID_QELRurUzoz)->LockServer(FALSE), S_OK);
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE) << "one lock left";
  EXPECT_EQ(server.Factory(CLSID_QELRurUzoz)->LockServer(FALSE), S_OK);
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

class RegistrationTest : public TempRegistry {
 protected:
  // Entries of other software, which registration must leave as they are.
  void WriteOtherEntries() {
    const std::pair<std::string, std::string> others[] = {
        {"CLSID\\{0D5B1E2A-0000-4000-8000-000000000001}\\InprocServer32", "/opt/other/libother.so"},
        {"CLSID\\{0D5B1E2A-0000-4000-8000-000000000001}\\ProgID", "Other.Thing"},
        {"Other.Thing\\CLSID", "{0D5B1E2A-0000-4000-8000-000000000001}"},
        {"TypeLib\\{0D5B1E2A-0000-4000-8000-000000000002}\\1.0\\0\\win32", "/opt/other/libother.so"},
        {"Interface\\{0D5B1E2A-0000-4000-8000-000000000003}", "_Other"},
    };
    for (const auto& [key, text] : others) {
      ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, key, nullptr, text), ERROR_SUCCESS) << key;
    }
    ASSERT_EQ(comrt::WriteRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qelvar", "Setting", "kept"), ERROR_SUCCESS);
  }
  static std::string Text(const std::string& key, const char* value = nullptr) {
    std::string text;
    const LSTATUS status = comrt::ReadRegistryText(HKEY_CLASSES_ROOT, key, value, text);
    return status == ERROR_SUCCESS ? text : "<missing>";
  }

  ServerFile server;
};

TEST_F(RegistrationTest, RecordsEachClassAndTheTypeLibraryAndUnregisteringRemovesExactlyThat) {
  ASSERT_TRUE(server.loaded()) << dlerror();
  WriteOtherEntries();
  const std::string before = ReadFile();

  ASSERT_EQ(server.Register(), S_OK);
  ASSERT_EQ(server.Register(), S_OK) << "registering again";
  for (const ClassCase& c : kClasses) {
    SCOPED_TRACE(c.name);
    const std::string key = std::string("CLSID\\") + c.clsid;
    const std::string progid = std::string("QELCom.") + c.name;
    EXPECT_EQ(Text(key), c.name);
    EXPECT_EQ(Text(key + "\\InprocServer32"), ServerPath());
    EXPECT_EQ(Text(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Text(key + "\\ProgID"), progid);
    EXPECT_EQ(Text(key + "\\TypeLib"), "{57A57BF4-4E19-47D6-9C74-93E78C953273}");
    EXPECT_EQ(Text(progid + "\\CLSID"), c.clsid);

    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(comrt::Utf8ToUtf16(progid).c_str(), &clsid), S_OK);
    EXPECT_EQ(clsid, comrt::ParseGuid(c.clsid));
  }

  EXPECT_EQ(Text("TypeLib\\{57A57BF4-4E19-47D6-9C74-93E78C953273}\\1.0\\0\\win32"), ServerPath());
  const std::pair<const char*, const char*> interfaces[] = {
      {"_QELRurUzoz", "{C822FF04-7C57-42B4-A15E-BABA4B9062DD}"},
      {"_USB", "{C5D1E117-5449-4CE0-A1C4-F15111F2CC25}"},
      {"_SMBusProtocall", "{207D27E5-1F98-4C70-B3DD-BCA276D65AF3}"},
      {"__EEPROM", "{8A90CCB6-0C46-47CF-B219-3D42E8F7816D}"},
  };
  for (const auto& [name, iid] : interfaces) {
    const std::string key = std::string("Interface\\") + iid;
    EXPECT_EQ(Text(key), name);
    EXPECT_EQ(Text(key + "\\TypeLib"), "{57A57BF4-4E19-47D6-9C74-93E78C953273}");
  }

  ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(comrt::ParseGuid("{57A57BF4-4E19-47D6-9C74-93E78C953273}"), 1, 0, 0, library.put()), S_OK);
  ExpectQELComLibrary(library.get());
  library.reset();

  ASSERT_EQ(server.Unregister(), S_OK);
  EXPECT_EQ(ReadFile(), before);
  EXPECT_EQ(LoadRegTypeLib(LIBID_QELCom, 1, 0, 0, library.put()), TYPE_E_LIBNOTREGISTERED);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"QELCom.QELRurUzoz", &clsid), CO_E_CLASSSTRING);
}

TEST_F(RegistrationTest, AServerNeverRegisteredUnregistersWithoutChangingAnything) {
  ASSERT_TRUE(server.loaded()) << dlerror();
  EXPECT_EQ(server.Unregister(), S_OK);
  EXPECT_FALSE(FileExists()) << "no registry file is made";

  WriteOtherEntries();
  const std::string before = ReadFile();
  EXPECT_EQ(server.Unregister(), S_OK);
  EXPECT_EQ(ReadFile(), before);
}

TEST_F(RegistrationTest, ARegistryThatCannotBeWrittenFailsAndStaysAsItWas) {
  ASSERT_TRUE(server.loaded()) << dlerror();
  WriteOtherEntries();
  const std::string unregistered = ReadFile();
  chmod(file_.c_str(), 0444);
  chmod(folder_.c_str(), 0555);
  EXPECT_TRUE(FAILED(server.Register()));
  EXPECT_EQ(ReadFile(), unregistered);

  chmod(folder_.c_str(), 0755);
  chmod(file_.c_str(), 0644);
  ASSERT_EQ(server.Register(), S_OK);
  const std::string registered = ReadFile();
  chmod(file_.c_str(), 0444);
  chmod(folder_.c_str(), 0555);
  EXPECT_TRUE(FAILED(server.Unregister()));
  EXPECT_EQ(ReadFile(), registered);
}

// The resources of the file, read from the file on disk.
TEST(ResourcesTest, TypeLibraryIdentifiersAndVersionAreCarriedAsDocumented) {
  const std::vector<std::pair<std::string, const char*>> identifiers = {
      {"_IID_QELRURUZOZ", "{C822FF04-7C57-42B4-A15E-BABA4B9062DD}"},
      {"_IID_DATAPORT", "{7B9343FC-5FF5-4B0B-B125-07D3E91B3B9B}"},
      {"_IID_STATUSPORT", "{F87E2DE9-72DF-4DEE-9262-D3432FFBB073}"},
      {"_IID_CONTROLPORT", "{2049F2E9-A2F0-4344-893E-A4DD04919A59}"},
      {"_IID_USB", "{C5D1E117-5449-4CE0-A1C4-F15111F2CC25}"},
      {"_IID_PRINTERPORT", "{EB9FE1EA-0341-4296-882C-BBA2390E1F98}"},
      {"_IID_SMBUSPROTOCALL", "{207D27E5-1F98-4C70-B3DD-BCA276D65AF3}"},
      {"_IID_SMBUS", "{9A3990DD-005C-4113-9B5D-722E1841F6F3}"},
      {"_IID_EEPROM", "{61E20146-C5CD-4551-A9FE-F775863C1843}"},
      {"_SRCIID_SMBUSPROTOCALL", "{9B92E27D-77B7-4A96-A3D6-CE694A02EF48}"},
      {"_SRCIID_EEPROM", "{8A90CCB6-0C46-47CF-B219-3D42E8F7816D}"},
  };
  std::string error;
  const auto listed = comrt::ListResources(QUORLINK_SERVER, &error);
  ASSERT_TRUE(listed) << error;
  std::vector<std::string> seen;
  for (const comrt::ResourceInfo& r : *listed) {
    seen.push_back((r.type.name.empty() ? std::to_string(r.type.number) : r.type.name) + " " + std::to_string(r.id) +
                   " " + std::to_string(r.language));
  }
  std::vector<std::string> expected = {"TYPELIB 1 0"};
  for (const auto& [type, iid] : identifiers) expected.push_back(type + " 1 0");
  expected.push_back("16 1 1033");
  EXPECT_EQ(seen, expected);

  for (const auto& [type, iid] : identifiers) {
    SCOPED_TRACE(type);
    const auto bytes = comrt::ReadResource(QUORLINK_SERVER, type, 1);
    ASSERT_TRUE(bytes);
    const GUID guid = comrt::ParseGuid(iid);
    std::vector<uint8_t> wanted = {16, 0, 0, 0};
    const auto* raw = reinterpret_cast<const uint8_t*>(&guid);
    wanted.insert(wanted.end(), raw, raw + 16);
    EXPECT_EQ(*bytes, wanted);
    EXPECT_EQ((*bytes)[4], static_cast<uint8_t>(guid.Data1)) << "Data1 is little-endian";
  }

  ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLib(comrt::Utf8ToUtf16(QUORLINK_SERVER).c_str(), library.put()), S_OK);
  ExpectQELComLibrary(library.get());

  const auto version_bytes = comrt::ReadResource(QUORLINK_SERVER, comrt::kVersionResource, 1);
  ASSERT_TRUE(version_bytes);
  const auto version = ParseVersionInfo(*version_bytes, &error);
  ASSERT_TRUE(version) << error;
  EXPECT_EQ(version->fileVersion, (std::array<uint16_t, 4>{1, 0, 0, 46}));
  EXPECT_EQ(version->productVersion, (std::array<uint16_t, 4>{1, 0, 0, 46}));
  EXPECT_EQ(version->fileFlags, 0u);
  EXPECT_EQ(version->fileOS, "WINDOWS32");
  EXPECT_EQ(version->fileType, "DLL");
  EXPECT_EQ(version->translation, "040904B0");
  const std::vector<std::pair<std::string, std::string>> wanted_strings = {
      {"CompanyName", "Qelvar"},
      {"FileDescription", "QELRurUzoz controls communications between Qelvar evaluation systems and PCs."},
      {"ProductName", "QELRurUzoz"},
      {"FileVersion", "1.00.0046"},
      {"ProductVersion", "1.00.0046"},
      {"InternalName", "Quorlink"},
      {"OriginalFilename", std::filesystem::path(QUORLINK_SERVER).filename().string()},
      {"OLESelfRegister", ""},
  };
  EXPECT_EQ(version->strings, wanted_strings);
  EXPECT_EQ(std::filesystem::path(QUORLINK_SERVER).filename(), "libQuorlink.so");
}

}  // namespace
