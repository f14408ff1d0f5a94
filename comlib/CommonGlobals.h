// Process-wide port state: which parallel port is selected and whether Quorlink
// holds it, the bus device address, the line codes and their polarity, and the
// operating-system facts. Every object of the library reads and writes these same
// variables, so a setting made through one object holds for all of them; objects
// of any thread do so while holding the bus (BusOperation.h).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Boolean.h"
#include "qel/system.h"

namespace CommonGlobals {

// The variables, each with its value at load time. Reset() puts a fresh set in
// place, so a variable added here is reset with the others.
struct Variables {
  uint8_t PortIndex = 0;  // 0-based; parport2k numbers ports from 1
  uint8_t PortCount = 0;
  quorlink::Boolean PortClaimed = quorlink::kFalse;
  // Base address of each enumerated port; absent until the first enumeration builds it.
  std::optional<std::vector<int16_t>> PortAddresses;
  uint8_t DeviceAddress = 0;
  int16_t PortAddress = 0;  // data register at +0, status at +1, control at +2
  uint8_t DataInverted = 0;
  uint8_t BitsToStayHigh = 0;
  uint8_t CodeSDAHighSCLHigh = 0;
  uint8_t CodeSDALowSCLHigh = 0;
  uint8_t CodeSDALowSCLLow = 0;
  uint8_t CodeSDAHighSCLLow = 0;
  quorlink::Boolean IsWin9x = quorlink::kFalse;
  quorlink::Boolean LockPortOpen = quorlink::kFalse;
  OSVERSIONINFOA OSInfo{};
  // The last build number read: a text, or empty.
  std::optional<std::string> BuildNumber;
};
extern constinit Variables variables;

// Each variable under its own name, bound at compile time: as fast as a variable
// of its own.
inline constexpr auto& PortIndex = variables.PortIndex;
inline constexpr auto& PortCount = variables.PortCount;
inline constexpr auto& PortClaimed = variables.PortClaimed;
inline constexpr auto& PortAddresses = variables.PortAddresses;
inline constexpr auto& DeviceAddress = variables.DeviceAddress;
inline constexpr auto& PortAddress = variables.PortAddress;
inline constexpr auto& DataInverted = variables.DataInverted;
inline constexpr auto& BitsToStayHigh = variables.BitsToStayHigh;
inline constexpr auto& CodeSDAHighSCLHigh = variables.CodeSDAHighSCLHigh;
inline constexpr auto& CodeSDALowSCLHigh = variables.CodeSDALowSCLHigh;
inline constexpr auto& CodeSDALowSCLLow = variables.CodeSDALowSCLLow;
inline constexpr auto& CodeSDAHighSCLLow = variables.CodeSDAHighSCLLow;
inline constexpr auto& IsWin9x = variables.IsWin9x;
inline constexpr auto& LockPortOpen = variables.LockPortOpen;
inline constexpr auto& OSInfo = variables.OSInfo;
inline constexpr auto& BuildNumber = variables.BuildNumber;

// Puts every variable back to its value at load time.
void Reset();

// The registers of the selected port, as offsets from PortAddress.
enum RegisterOffset : int16_t { kDataRegister = 0, kStatusRegister = 1, kControlRegister = 2 };

// The address of a register: PortAddress plus its offset, wrapping at 65536 like
// the 16-bit base, so a base of 0x8000 or above, which is negative, still has its
// registers at the next addresses above it.
inline int16_t RegisterAddress(int16_t offset) {
  return static_cast<int16_t>(static_cast<uint16_t>(PortAddress) + static_cast<uint16_t>(offset));
}

// Claims the selected port; the result tells whether the port may be driven.
quorlink::Boolean ClaimPort();
// Claims port `PortNumber` at parport2k, giving up a standing claim first.
int16_t ClaimPortNumber(uint8_t PortNumber);
// Gives up the claim and ends a lock.
void ReleasePort();
// Selects port `Index` (0-based), giving up a standing claim on another port first.
void SelectPortIndex(uint8_t Index);
// Selects the enumerated port with this base; nothing changes when none has it.
void SelectPortByAddress(int16_t Address);

// Byte output and input at any I/O address, only while the port is claimed.
void OutputByte(int16_t Port, uint8_t Value);
uint8_t InputByte(int16_t Port);

// The two line-code sets: in the plain set a set data bit puts its line high, in
// the inverted set it pulls the line low.
void PlainLineCodes();
void InvertedLineCodes();

// BitDelay, the bit delay between line changes, is declared with the bus timing
// settings in CommunicationsProcedures.h.
// Drives SDA high and waits up to `Timeout` seconds for the slave to pull it low;
// False on a time-out.
quorlink::Boolean WaitForAcknowledge(int16_t Timeout);

// Asks the system for its version (into OSInfo) and keeps the build number as text
// in BuildNumber: the low 12 bits on the Windows 95 family (platform 1), the whole
// number on NT (platform 2), "Unrecognised Build Number (n)" on platforms 3 to 10.
// Any other platform, as a failed query leaves it, keeps the previous result.
std::optional<std::string> GetBuildNumber();
// Whether a build number is one of the Windows 95, 98 and Me builds (950, 1111,
// 1998, 2222, 3000), compared as numbers whatever the platform; empty counts as 0.
// A text that is not a number raises a type mismatch, one beyond 16 bits an overflow.
quorlink::Boolean IsWin9xBuild(const std::optional<std::string>& BuildNumber);

}  // namespace CommonGlobals
