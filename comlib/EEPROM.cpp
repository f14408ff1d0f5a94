#include "EEPROM.h"

#include "BusOperation.h"
#include "ByteFrames.h"
#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"

namespace cg = CommonGlobals;
namespace cp = CommunicationsProcedures;

namespace {

using quorlink::ReadAddress;
using quorlink::Write;
using quorlink::WriteAddress;

// One transaction: claim first (nothing at all when the claim fails), the frame,
// then the frame delay while the port is still held, then the release.
template <class Frame>
void Transaction(Frame frame) {
  quorlink::OnBus(quorlink::Claim::First, quorlink::Close::PauseThenRelease, frame);
}

}  // namespace

EEPROM::EEPROM() {
  const quorlink::BusHold hold;
  cg::InvertedLineCodes();
}

HRESULT EEPROM::put_FrameDelay(float value) {
  return Call([&] { frameDelay_ = value; });
}
HRESULT EEPROM::get_FrameDelay(float* retval) {
  return Call([&] { *comrt::Out(retval) = frameDelay_; });
}
HRESULT EEPROM::put_Delay(short value) {
  return Call([&] { delay_ = value; });
}
HRESULT EEPROM::get_Delay(short* retval) {
  return Call([&] { *comrt::Out(retval) = delay_; });
}
HRESULT EEPROM::put_RelativeDelayOn(VARIANT_BOOL value) {
  return Call([&] { cp::RelativeDelayOn = value; });
}
HRESULT EEPROM::get_RelativeDelayOn(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = cp::RelativeDelayOn; });
}
HRESULT EEPROM::put_DeviceAddress(BYTE value) {
  return Call([&] { cg::DeviceAddress = value; });
}
HRESULT EEPROM::get_DeviceAddress(BYTE* retval) {
  return Call([&] { *comrt::Out(retval) = cg::DeviceAddress; });
}

HRESULT EEPROM::SetAddress(BYTE, BYTE) {
  return Call([] {});
}

// A random read: one message sets the address pointer and stops, a second one
// (a new start, not a repeated one) reads the byte.
HRESULT EEPROM::ReadByte(BYTE HighByte, BYTE LowByte, BYTE* retval) {
  return Call([&] {
    BYTE* out = comrt::Out(retval);
    *out = 0;
    Transaction([&] {
      cp::SendStartCondition();
      Write(WriteAddress());
      Write(HighByte);
      Write(LowByte);
      cp::SendStopCondition();
      cp::SendStartCondition();
      Write(ReadAddress());
      *out = static_cast<uint8_t>(cp::ReceiveDataByte());
      cp::SendMasterNAck();
      cp::SendStopCondition();
    });
  });
}

HRESULT EEPROM::WriteByte(BYTE HighByte, BYTE LowByte, BYTE Data) {
  return Call([&] {
    Transaction([&] {
      cp::SendStartCondition();
      Write(WriteAddress());
      Write(HighByte);
      Write(LowByte);
      Write(Data);
      cp::SendStopCondition();
    });
  });
}

// The command goes ahead of the memory address; nothing tells whether it was taken.
HRESULT EEPROM::PageErase(BYTE CommandByte, BYTE HighByte, BYTE LowByte, VARIANT_BOOL* retval) {
  return Call([&] {
    *comrt::Out(retval) = quorlink::kFalse;
    Transaction([&] {
      cp::SendStartCondition();
      Write(WriteAddress());
      Write(CommandByte);
      Write(HighByte);
      Write(LowByte);
      cp::SendStopCondition();
    });
  });
}

// A zero byte, then the memory address; the ninth clock after the low byte is a
// master not-acknowledge, with no bit delay in front of it.
HRESULT EEPROM::SetEEPROMAddress(BYTE HighByte, BYTE LowByte) {
  return Call([&] {
    Transaction([&] {
      cp::SendStartCondition();
      Write(WriteAddress());
      Write(0x00);
      Write(HighByte);
      cp::SendDataByte(LowByte);
      cp::SendMasterNAck();
      cp::SendStopCondition();
    });
  });
}
