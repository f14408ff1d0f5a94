// Expected wires composed in bus notation, for tests that check whole frames.
// Bit delays appear as "D" (BusTest::MarkBitDelays).
#pragma once
#include <cstdint>
#include <algorithm>
#include <string>
#include <vector>

namespace bustest {

inline std::string Join(std::initializer_list<std::string> parts) {
  std::string wire;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!wire.empty()) wire += ' ';
    wire += part;
  }
  return wire;
}

// The same wire with the bit delays off.
inline std::string WithoutDelays(const std::string& wire) {
  std::string result;
  size_t start = 0;
  while (start <= wire.size()) {
    const size_t end = std::min(wire.find(' ', start), wire.size());
    const std::string word = wire.substr(start, end - start);
    if (word != "D") result = Join({result, word});
    start = end + 1;
  }
  return result;
}

inline const std::string kStart = "HH D LH D LL";
inline const std::string kStop = "LL D LH D HH";
inline const std::string kSlaveAck = "D HL HH D HL LL";
inline const std::string kMasterAck = "LL LH D LL";
inline const std::string kMasterNAck = "HL HH D HL LL";
inline const std::string kReceivedBit = "D HL HH D in HL";

inline std::string Bits(uint8_t byte) {
  std::string wire;
  for (int bit = 7; bit >= 0; --bit) {
    wire = Join({wire, (byte >> bit) & 1 ? "D HL D HH D HL D LL" : "D LL LH D LL LL"});
  }
  return wire;
}

// A byte written and its acknowledge clock.
inline std::string Written(uint8_t byte) { return Join({Bits(byte), kSlaveAck}); }

inline std::string Received() {
  std::string wire = "LL";
  for (int bit = 0; bit < 8; ++bit) wire = Join({wire, kReceivedBit});
  return wire;
}

// Status readings that make ReceiveDataByte see `byte`: a set status bit is a 0 bit.
inline std::vector<uint8_t> StatusFor(uint8_t byte, uint8_t sda = 0x10) {
  std::vector<uint8_t> status;
  for (int bit = 7; bit >= 0; --bit) status.push_back((byte >> bit) & 1 ? 0 : sda);
  return status;
}

}  // namespace bustest
