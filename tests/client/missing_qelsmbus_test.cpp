// A root object whose SMBus cannot be made: the server alone in a folder with
// libparport2k.so but without libQELSMBus.so, on a system whose version makes the
// SMBus search the PCI buses.
#include "com/activation.h"
#include "client_declarations.h"
#include "lone_server.h"

namespace {

TEST_F(ClientTest, CreationFailsWithTheMissingHostControllerLibrary) {
  qelsys::SetVersionSource(&CurrentNt);
  RegisterLoneServer({"libparport2k.so"});

  void* root = reinterpret_cast<void*>(1);
  const HRESULT hr =
      CoCreateInstance(CLSID_QELRurUzoz, nullptr, CLSCTX_INPROC_SERVER, IID__QELRurUzoz, &root);
  EXPECT_EQ(hr, kErrorHresultBase + 53);
  EXPECT_EQ(root, nullptr);
  const std::string description = ErrorDescription();
  EXPECT_NE(description.find("libQELSMBus.so"), std::string::npos) << description;
}

}  // namespace
