// The byte, word and pointer transactions, each a bus operation (BusOperation.h)
// built from the line steps. Written bytes get a plain acknowledge clock: no
// transaction senses whether a device answered.
#include "BusLines.h"
#include "BusOperation.h"
#include "ByteFrames.h"
#include "CommunicationsProcedures.h"
#include "com/convert.h"

namespace CommunicationsProcedures {

namespace {

using quorlink::Claim;
using quorlink::Close;
using quorlink::OnBus;
using quorlink::Write;

// The turnaround between pointer write and read: a stop, or with RepeatedStart the
// lines brought to idle without one, so the next start is a repeated start.
void Turnaround() {
  if (RepeatedStart) {
    PortOutByte(quorlink::lines::DataRegister(), quorlink::lines::CodeHL());
    CommonGlobals::BitDelay();
    PortOutByte(quorlink::lines::DataRegister(), quorlink::lines::CodeHH());
  } else {
    SendStopCondition();
    CommonGlobals::BitDelay();
  }
}

// A start, the address with the read bit, one byte in, then the not-acknowledge
// between two bit delays and the stop: the whole of a receive byte, and the read
// half of a pointer read.
uint8_t ReadOneByte(uint8_t deviceAddress) {
  SendStartCondition();
  Write(quorlink::ReadPhase(deviceAddress));
  const auto result = static_cast<uint8_t>(ReceiveDataByte());
  CommonGlobals::BitDelay();
  SendMasterNAck();
  CommonGlobals::BitDelay();
  SendStopCondition();
  return result;
}

}  // namespace

void ShortWriteTransaction(uint8_t DeviceAddress, uint8_t Data) {
  OnBus(Claim::First, Close::ReleaseThenPause, [&] {
    SendStartCondition();
    Write(DeviceAddress);
    Write(Data);
    SendStopCondition();
  });
}

uint8_t ShortReadTransaction(uint8_t DeviceAddress) {
  uint8_t result = 0;
  OnBus(Claim::First, Close::ReleaseThenPause, [&] { result = ReadOneByte(DeviceAddress); });
  return result;
}

void WriteWordTransaction(uint8_t DeviceAddress, uint8_t AddressPointer, float Value) {
  OnBus(Claim::First, Close::ReleaseThenPause, [&] {
    SendStartCondition();
    Write(DeviceAddress);
    Write(AddressPointer);
    // High byte first; SendDataByte keeps the low 8 bits of each.
    const int32_t word = comrt::ToInt32(Value);
    Write(static_cast<float>((word & ~0xFF) / 256));
    Write(static_cast<float>(word & 0xFF));
    SendStopCondition();
  });
}

float ReadWordTransaction(uint8_t DeviceAddress, uint8_t AddressPointer) {
  int32_t word = 0;
  OnBus(Claim::First, Close::ReleaseThenPause, [&] {
    SendStartCondition();
    Write(DeviceAddress);
    Write(AddressPointer);
    SendStopCondition();
    SendStartCondition();
    Write(quorlink::ReadPhase(DeviceAddress));
    const auto high = static_cast<int32_t>(ReceiveDataByte());
    SendMasterAck();
    const auto low = static_cast<int32_t>(ReceiveDataByte());
    SendMasterNAck();
    SendStopCondition();
    word = high * 256 | low;
  });
  return static_cast<float>(word);
}

void PortWriteTransaction(uint8_t DeviceAddress, uint8_t AddressPointer, uint8_t Data) {
  OnBus(Claim::UnlessLocked, Close::PauseThenRelease, [&] {
    SendStartCondition();
    Write(DeviceAddress);
    Write(AddressPointer);
    Write(Data);
    SendStopCondition();
  });
}

uint8_t PortReadTransaction(uint8_t DeviceAddress, uint8_t AddressPointer) {
  uint8_t result = 0;
  OnBus(Claim::UnlessLocked, Close::PauseThenRelease, [&] {
    SendStartCondition();
    Write(DeviceAddress);
    Write(AddressPointer);
    Turnaround();
    result = ReadOneByte(DeviceAddress);
  });
  return result;
}

}  // namespace CommunicationsProcedures
