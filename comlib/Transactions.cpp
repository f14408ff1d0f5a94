// The byte, word and pointer transactions, each a bus operation (BusOperation.h)
// built from the line steps. Written bytes get a plain acknowledge clock: no
// transaction senses whether a device answered.
#include "BusElements.h"
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

// The line steps as the elements of a transaction, each run as its own routine.
struct EachStep {
  static void D() { CommonGlobals::BitDelay(); }
  // Each write reads the lines anew, as a line step of its own would.
  static void HH() { quorlink::lines::LineWrites<PortOutByte>().HH(); }
  static void HL() { quorlink::lines::LineWrites<PortOutByte>().HL(); }
  static void Start() { SendStartCondition(); }
  static void Stop() { SendStopCondition(); }
  static void Write(float value) { quorlink::Write(value); }
  static float ReceiveByte() { return ReceiveDataByte(); }
  static void MasterAck() { SendMasterAck(); }
  static void MasterNAck() { SendMasterNAck(); }
};

// Runs the steps of a transaction, on a port that acts. With a bit delay that does
// not wait only the port library runs between them, so they share one step's lines
// (BusLines.h). A delay that waits yields to the host's message loop, so each step
// runs as its own routine and claims the port for itself should a handler have
// given it up meanwhile.
template <class Steps>
void RunSteps(Steps steps) {
  if (quorlink::Waits(Delay)) {
    EachStep each;
    steps(each);
  } else {
    quorlink::lines::Elements<false> lines;
    steps(lines);
  }
}

// The turnaround between pointer write and read: a stop, or with RepeatedStart the
// lines brought to idle without one, so the next start is a repeated start.
template <class Bus>
void Turnaround(Bus& bus) {
  if (RepeatedStart) {
    bus.HL();
    bus.D();
    bus.HH();
  } else {
    bus.Stop();
    bus.D();
  }
}

// A start, the address with the read bit, one byte in, then the not-acknowledge
// between two bit delays and the stop: the whole of a receive byte, and the read
// half of a pointer read.
template <class Bus>
uint8_t ReadOneByte(Bus& bus, uint8_t deviceAddress) {
  bus.Start();
  bus.Write(quorlink::ReadPhase(deviceAddress));
  const auto result = static_cast<uint8_t>(bus.ReceiveByte());
  bus.D();
  bus.MasterNAck();
  bus.D();
  bus.Stop();
  return result;
}

}  // namespace

void ShortWriteTransaction(uint8_t DeviceAddress, uint8_t Data) {
  OnBus(Claim::First, Close::ReleaseThenPause, [&] {
    RunSteps([&](auto& bus) {
      bus.Start();
      bus.Write(DeviceAddress);
      bus.Write(Data);
      bus.Stop();
    });
  });
}

uint8_t ShortReadTransaction(uint8_t DeviceAddress) {
  uint8_t result = 0;
  OnBus(Claim::First, Close::ReleaseThenPause, [&] {
    RunSteps([&](auto& bus) { result = ReadOneByte(bus, DeviceAddress); });
  });
  return result;
}

void WriteWordTransaction(uint8_t DeviceAddress, uint8_t AddressPointer, float Value) {
  OnBus(Claim::First, Close::ReleaseThenPause, [&] {
    RunSteps([&](auto& bus) {
      bus.Start();
      bus.Write(DeviceAddress);
      bus.Write(AddressPointer);
      // High byte first; SendDataByte keeps the low 8 bits of each.
      const int32_t word = comrt::ToInt32(Value);
      bus.Write(static_cast<float>((word & ~0xFF) / 256));
      bus.Write(static_cast<float>(word & 0xFF));
      bus.Stop();
    });
  });
}

float ReadWordTransaction(uint8_t DeviceAddress, uint8_t AddressPointer) {
  int32_t word = 0;
  OnBus(Claim::First, Close::ReleaseThenPause, [&] {
    RunSteps([&](auto& bus) {
      bus.Start();
      bus.Write(DeviceAddress);
      bus.Write(AddressPointer);
      bus.Stop();
      bus.Start();
      bus.Write(quorlink::ReadPhase(DeviceAddress));
      const auto high = static_cast<int32_t>(bus.ReceiveByte());
      bus.MasterAck();
      const auto low = static_cast<int32_t>(bus.ReceiveByte());
      bus.MasterNAck();
      bus.Stop();
      word = high * 256 | low;
    });
  });
  return static_cast<float>(word);
}

void PortWriteTransaction(uint8_t DeviceAddress, uint8_t AddressPointer, uint8_t Data) {
  OnBus(Claim::UnlessLocked, Close::PauseThenRelease, [&] {
    RunSteps([&](auto& bus) {
      bus.Start();
      bus.Write(DeviceAddress);
      bus.Write(AddressPointer);
      bus.Write(Data);
      bus.Stop();
    });
  });
}

uint8_t PortReadTransaction(uint8_t DeviceAddress, uint8_t AddressPointer) {
  uint8_t result = 0;
  OnBus(Claim::UnlessLocked, Close::PauseThenRelease, [&] {
    RunSteps([&](auto& bus) {
      bus.Start();
      bus.Write(DeviceAddress);
      bus.Write(AddressPointer);
      Turnaround(bus);
      result = ReadOneByte(bus, DeviceAddress);
    });
  });
  return result;
}

}  // namespace CommunicationsProcedures
