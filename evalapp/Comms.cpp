#include "Comms.h"

#include "Link.h"
#include "ZQS472Main.h"

namespace Comms {

uint8_t DeviceAddress = 0;
bool VerifyWrites = false;
uint8_t SwitchState = 0;

namespace {
Link* g_link = nullptr;
}

void SetLink(Link* link) { g_link = link; }

Link& CurrentLink() { return *g_link; }

void Main() {
  DeviceAddress = 0x90;
  VerifyWrites = true;
  ZQS472Main::Get()->ShowCentred();
}

void WriteSwitchByte(uint8_t data) { CurrentLink().ShortWrite(DeviceAddress, data); }

uint8_t ReadSwitchByte() { return CurrentLink().ShortRead(DeviceAddress); }

void WriteSwitchState() { WriteSwitchByte(SwitchState); }

void ReadSwitchState() {
  SwitchState = ReadSwitchByte();
  // The window is reached anew for every bit: it is loaded, unshown, if it is not.
  for (int i = 0; i < 8; ++i) ZQS472Main::Get()->ZQS472Toggle(i)->setValue((SwitchState >> i) & 1);
}

}  // namespace Comms
