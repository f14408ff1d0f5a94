// The two-wire bus master on the parallel port: bus timing and options, the line
// steps that each drive one bus element, the waits that pace them, and the byte,
// word and pointer transactions built from them. Everything here works on the
// process-wide state of CommonGlobals and the variables below.
#pragma once
#include <cstdint>
#include <optional>

#include "Boolean.h"
#include "CommonGlobals.h"
#include "Parport2k.h"
#include "Waits.h"

namespace CommunicationsProcedures {

// The variables, each with its value at load time. Reset() puts a fresh set in
// place, so a variable added here is reset with the others.
struct Variables {
  uint8_t OrBits = 0;
  quorlink::Boolean CheckForAck = quorlink::kFalse;
  quorlink::Boolean ThereWasNoAck = quorlink::kFalse;
  // Bit delay: seconds on the system timer, or message-loop yields with RelativeDelayOn.
  float Delay = 0;
  uint8_t AddressPointer = 0;
  // The mark of the wait in progress, shared by every wait.
  float WaitMark = 0;
  quorlink::Boolean RepeatedStart = quorlink::kFalse;
  // Pause at the end of each transaction, in the units of Delay.
  float FrameDelay = 0;
  quorlink::Boolean RelativeDelayOn = quorlink::kFalse;
  // Received bits are sensed on status bit 3 instead of bit 4.
  quorlink::Boolean VideoSoftware = quorlink::kFalse;
  quorlink::Boolean ActAsMaster = quorlink::kFalse;
  // The running packet error code after each byte of the last calculation.
  int16_t PECData[38] = {};
  // Working storage of SendDataByte and ReceiveDataByte.
  uint8_t BitCount = 0;
  uint8_t BitIndex = 0;
  uint8_t DataByte = 0;
  uint8_t StatusByte = 0;
};
extern constinit Variables variables;

// Each variable under its own name, bound at compile time (CommonGlobals.h).
inline constexpr auto& OrBits = variables.OrBits;
inline constexpr auto& CheckForAck = variables.CheckForAck;
inline constexpr auto& ThereWasNoAck = variables.ThereWasNoAck;
inline constexpr auto& Delay = variables.Delay;
inline constexpr auto& AddressPointer = variables.AddressPointer;
inline constexpr auto& WaitMark = variables.WaitMark;
inline constexpr auto& RepeatedStart = variables.RepeatedStart;
inline constexpr auto& FrameDelay = variables.FrameDelay;
inline constexpr auto& RelativeDelayOn = variables.RelativeDelayOn;
inline constexpr auto& VideoSoftware = variables.VideoSoftware;
inline constexpr auto& ActAsMaster = variables.ActAsMaster;
inline constexpr auto& PECData = variables.PECData;
inline constexpr auto& BitCount = variables.BitCount;
inline constexpr auto& BitIndex = variables.BitIndex;
inline constexpr auto& DataByte = variables.DataByte;
inline constexpr auto& StatusByte = variables.StatusByte;

// Puts every variable back to its value at load time.
void Reset();

// One byte to or from any I/O address, only while the port is claimed or locked open.
inline void PortOutByte(int16_t Port, uint8_t Value) {
  if (CommonGlobals::PortClaimed || CommonGlobals::LockPortOpen) parport2k::OutByte(Port, Value);
}
inline uint8_t PortInByte(int16_t Port) {
  if (!(CommonGlobals::PortClaimed || CommonGlobals::LockPortOpen)) return 0;
  return static_cast<uint8_t>(parport2k::InByte(Port));
}

// Stores the always-high data bits and writes them alone to the data register.
void SetBitsToStayHigh(uint8_t Value);
// Stores the polarity flag; True loads the inverted line codes, False the plain ones.
void SetDataInverted(quorlink::Boolean Value);

// Line steps. Each claims the port for itself unless it is claimed or locked open.
void SendStartCondition();
void SendStopCondition();
// Returns the lines from LL to idle without making a stop condition.
void SendPreStart();
void SendDataByte(float Value);  // low 8 bits of the nearest integer, MSB first
float ReceiveDataByte();
void ClockSlaveAck();
// The acknowledge clock, sampling status bit 1; empty when the port could not be claimed.
std::optional<quorlink::Boolean> ClockAckAndSample();
// The acknowledge clock with SCL held high for 0.1 s.
void ClockAckWithHold();
void SendMasterAck();
void SendMasterNAck();

// The frame delay at the end of a transaction (FrameDelay).
inline void WaitFrameDelay() { quorlink::Pause(FrameDelay); }

// Transactions. DeviceAddress is the bus address byte; read phases set its bit 0.
void ShortWriteTransaction(uint8_t DeviceAddress, uint8_t Data);
uint8_t ShortReadTransaction(uint8_t DeviceAddress);
void WriteWordTransaction(uint8_t DeviceAddress, uint8_t AddressPointer, float Value);
float ReadWordTransaction(uint8_t DeviceAddress, uint8_t AddressPointer);
void PortWriteTransaction(uint8_t DeviceAddress, uint8_t AddressPointer, uint8_t Data);
uint8_t PortReadTransaction(uint8_t DeviceAddress, uint8_t AddressPointer);

}  // namespace CommunicationsProcedures

namespace CommonGlobals {

// The bit delay between line changes (CommunicationsProcedures::Delay). Inline, so
// that with no delay the bus runs at the speed of its port writes.
inline void BitDelay() { quorlink::Pause(CommunicationsProcedures::Delay); }

}  // namespace CommonGlobals
