// A root object whose PrinterPort cannot be made: the server alone in a folder,
// without libparport2k.so. This program links the recording libQELSMBus.so, which
// the server's search by name finds already loaded, so the SMBus made first
// finds its library and its search can be seen.
#include "com/activation.h"
#include "client_declarations.h"
#include "lone_server.h"
#include "qelsmbus/recorder.h"

namespace {

TEST_F(ClientTest, CreationFailsWithTheMissingLibraryAfterTheSMBusSearchRan) {
  qelsys::SetVersionSource(&CurrentNt);
  const std::string server = RegisterLoneServer({});
  RecorderReset();

  void* root = reinterpret_cast<void*>(1);
  const HRESULT hr =
      CoCreateInstance(CLSID_QELRurUzoz, nullptr, CLSCTX_INPROC_SERVER, IID__QELRurUzoz, &root);
  EXPECT_EQ(hr, kErrorHresultBase + 53);
  EXPECT_EQ(root, nullptr);
  const std::string description = ErrorDescription();
  EXPECT_NE(description.find("libparport2k.so"), std::string::npos) << description;

  int pci_reads = 0;
  for (int i = 0; i < RecorderCallCount(); ++i) pci_reads += RecorderCalls()[i].kind == kRecordReadPCI;
  EXPECT_GT(pci_reads, 0) << "the SMBus constructor searched the PCI buses first";

  const auto can_unload = reinterpret_cast<HRESULT (*)()>(
      dlsym(dlopen(server.c_str(), RTLD_NOW | RTLD_NOLOAD), "DllCanUnloadNow"));
  ASSERT_NE(can_unload, nullptr);
  EXPECT_EQ(can_unload(), S_OK) << "the partly built root and its children are gone";
}

}  // namespace
