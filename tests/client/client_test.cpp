// A client that knows the library only by its identifiers and member order:
// it creates the root object through COM activation and runs a send byte and a
// receive byte to the switch chip on the virtual board.
#include "com/activation.h"
#include "client_declarations.h"
#include "lone_server.h"
#include "qelboard_control.h"
#include "virtual_board.h"

namespace {

using comrt::ComPtr;

TEST_F(ClientTest, CreatesTheRootByItsIdentifierAndTalksToTheSwitchChip) {
  ASSERT_EQ(CallServer(QUORLINK_SERVER, "DllRegisterServer"), S_OK);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"QELCom.QELRurUzoz", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_QELRurUzoz);
  QelBoard_Reset();

  ComPtr<_QELRurUzoz> root;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__QELRurUzoz,
                             reinterpret_cast<void**>(root.put())),
            S_OK)
      << ErrorDescription();
  ComPtr<_PrinterPort> port;
  ASSERT_EQ(root->get_PrinterPort(port.put()), S_OK);
  void* same = nullptr;
  ASSERT_EQ(port->QueryInterface(IID__PrinterPort, &same), S_OK);
  EXPECT_EQ(same, port.get()) << "the default interface is the one handed out";
  port->Release();

  BYTE ports = 0;
  ASSERT_EQ(port->get_PrinterPortsDetected(&ports), S_OK);
  EXPECT_EQ(ports, 2);
  ASSERT_EQ(port->put_PortAddressIndex(0), S_OK);
  short address = 0;
  ASSERT_EQ(port->get_PortAddress(&address), S_OK);
  EXPECT_EQ(address, 0x378);

  ComPtr<_SMBusProtocall> bus;
  ASSERT_EQ(port->get_SMBusProtocall(bus.put()), S_OK);
  ASSERT_EQ(bus->ShortWrite(0x90, 0x5A), S_OK);
  EXPECT_EQ(QelBoard_GetSwitchByte(), 0x5A);
  QelBoard_SetSwitchByte(0xC3);
  BYTE read = 0;
  ASSERT_EQ(bus->ShortRead(0x90, &read), S_OK);
  EXPECT_EQ(read, 0xC3);

  bus.reset();
  port.reset();
  root.reset();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(Loaded(QUORLINK_SERVER)) << "with every object released the server is unloaded";
}

}  // namespace
