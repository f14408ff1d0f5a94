#include "CommonGlobals.h"

#include "Parport2k.h"
#include "Wiring.h"
#include "com/error.h"

using quorlink::kFalse;
using quorlink::kTrue;

namespace CommonGlobals {

constinit Variables variables;

void Reset() { variables = Variables{}; }

namespace {

void Load(const quorlink::lines::LineCodes& codes) {
  CodeSDAHighSCLHigh = codes.sdaHighSclHigh;
  CodeSDALowSCLHigh = codes.sdaLowSclHigh;
  CodeSDALowSCLLow = codes.sdaLowSclLow;
  CodeSDAHighSCLLow = codes.sdaHighSclLow;
}

// parport2k's number for the selected port. The number travels as a byte, so the
// index 255 has no number, as a narrowing of 256 into a byte fails.
uint8_t SelectedPortNumber() {
  if (PortIndex == 255) comrt::ThrowOverflow();
  return static_cast<uint8_t>(PortIndex + 1);
}
}  // namespace

quorlink::Boolean ClaimPort() {
  if (PortCount == 0) {
    PortClaimed = kFalse;
    return kFalse;
  }
  // Windows 95-family systems reach the port without parport2k.
  if (IsWin9x) {
    PortClaimed = kTrue;
    return kTrue;
  }
  if (LockPortOpen && PortClaimed) return kTrue;
  PortClaimed = quorlink::ToBoolean(ClaimPortNumber(SelectedPortNumber()) != 0);
  return PortClaimed;
}

int16_t ClaimPortNumber(uint8_t PortNumber) {
  // A claim is never laid on top of a claim.
  if (PortClaimed) ReleasePort();
  try {
    return static_cast<int16_t>(parport2k::ClaimParallelPort(PortNumber, -1));
  } catch (const comrt::Error&) {
    return 0;  // without the library or its entry point the claim counts as failed
  }
}

void ReleasePort() {
  if (PortClaimed && !IsWin9x) {
    try {
      parport2k::ReleaseParallelPort(PortIndex + 1);
    } catch (const comrt::Error&) {
      // Nothing to give back when the library cannot be reached.
    }
  }
  PortClaimed = kFalse;
  LockPortOpen = kFalse;
}

void SelectPortIndex(uint8_t Index) {
  // A claim names the selected port, so a standing one is given up before the
  // selection moves away from it.
  if (PortClaimed && Index != PortIndex) ReleasePort();
  PortIndex = Index;
}

void SelectPortByAddress(int16_t Address) {
  if (PortCount == 0) {
    PortClaimed = kFalse;
    return;
  }
  parport2k::ParallelPortInfo info = parport2k::InfoRecord();
  for (int number = 1; number <= PortCount; ++number) {
    if (parport2k::BaseOf(number, info) == Address) {
      SelectPortIndex(static_cast<uint8_t>(number - 1));
      PortAddress = Address;
      return;
    }
  }
}

void OutputByte(int16_t Port, uint8_t Value) {
  if (PortClaimed) parport2k::OutByte(Port, Value);
}

uint8_t InputByte(int16_t Port) {
  if (!PortClaimed) return 0;
  return static_cast<uint8_t>(parport2k::InByte(Port));
}

void PlainLineCodes() { Load(quorlink::lines::kWiring.plain); }

void InvertedLineCodes() { Load(quorlink::lines::kWiring.inverted); }

}  // namespace CommonGlobals
