// The byte, word and pointer transactions. Each opens a bus operation, claims the
// port, builds its frame from the line steps, gives the port back unless it is
// locked open, and pauses for the frame delay. Written bytes get a plain
// acknowledge clock: no transaction senses whether a device answered.
#include "BusLines.h"
#include "BusOperation.h"
#include "ByteFrames.h"
#include "CommunicationsProcedures.h"
#include "PortClaim.h"
#include "com/convert.h"

namespace CommunicationsProcedures {

namespace {

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
  quorlink::BusOperation operation;
  if (!quorlink::ClaimFirst()) return;
  SendStartCondition();
  Write(DeviceAddress);
  Write(Data);
  SendStopCondition();
  quorlink::ReleaseUnlessLocked();
  WaitFrameDelay();
}

uint8_t ShortReadTransaction(uint8_t DeviceAddress) {
  quorlink::BusOperation operation;
  if (!quorlink::ClaimFirst()) return 0;
  const uint8_t result = ReadOneByte(DeviceAddress);
  quorlink::ReleaseUnlessLocked();
  WaitFrameDelay();
  return result;
}

void WriteWordTransaction(uint8_t DeviceAddress, uint8_t AddressPointer, float Value) {
  quorlink::BusOperation operation;
  if (!quorlink::ClaimFirst()) return;
  SendStartCondition();
  Write(DeviceAddress);
  Write(AddressPointer);
  // High byte first; SendDataByte keeps the low 8 bits of each.
  const int32_t word = comrt::ToInt32(Value);
  Write(static_cast<float>((word & ~0xFF) / 256));
  Write(static_cast<float>(word & 0xFF));
  SendStopCondition();
  quorlink::ReleaseUnlessLocked();
  WaitFrameDelay();
}

float ReadWordTransaction(uint8_t DeviceAddress, uint8_t AddressPointer) {
  quorlink::BusOperation operation;
  if (!quorlink::ClaimFirst()) return 0;
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
  quorlink::ReleaseUnlessLocked();
  WaitFrameDelay();
  return static_cast<float>(high * 256 | low);
}

void PortWriteTransaction(uint8_t DeviceAddress, uint8_t AddressPointer, uint8_t Data) {
  quorlink::BusOperation operation;
  if (!quorlink::ClaimUnlessLocked()) return;
  SendStartCondition();
  Write(DeviceAddress);
  Write(AddressPointer);
  Write(Data);
  SendStopCondition();
  WaitFrameDelay();
  quorlink::ReleaseUnlessLocked();
}

uint8_t PortReadTransaction(uint8_t DeviceAddress, uint8_t AddressPointer) {
  quorlink::BusOperation operation;
  if (!quorlink::ClaimUnlessLocked()) return 0;
  SendStartCondition();
  Write(DeviceAddress);
  Write(AddressPointer);
  Turnaround();
  const uint8_t result = ReadOneByte(DeviceAddress);
  WaitFrameDelay();
  quorlink::ReleaseUnlessLocked();
  return result;
}

}  // namespace CommunicationsProcedures
