#include "smbus_segment.h"

#include <iterator>
#include <numeric>

namespace qelsmbus {

namespace {

// A 128 MB PC133 SDRAM module: the bytes that describe it, SPD revision 1.2 and
// the checksum of bytes 0 to 62 in byte 63; the rest of the memory as delivered.
constexpr uint8_t kSpdDescription[] = {0x80, 0x08, 0x04, 0x0C, 0x09, 0x01, 0x40, 0x00, 0x01, 0x75, 0x54, 0x00,
                                       0x80, 0x08, 0x00, 0x01, 0x8F, 0x04, 0x06, 0x01, 0x01, 0x00, 0x0E};
constexpr uint8_t kSpdRevision = 0x12;

}  // namespace

SmbusSegment::SmbusSegment() {
  uint8_t contents[64] = {};
  std::copy(std::begin(kSpdDescription), std::end(kSpdDescription), contents);
  contents[62] = kSpdRevision;
  contents[63] = static_cast<uint8_t>(std::accumulate(contents, contents + 63, 0u));
  for (uint32_t i = 0; i < std::size(contents); ++i) spd_.Poke(i, contents[i]);
  bus_.Attach(spd_);
}

std::optional<uint8_t> SmbusSegment::ReadByteData(uint8_t address, uint8_t command) {
  Start();
  bool acknowledged = SendByte(static_cast<uint8_t>(address << 1)) && SendByte(command);
  std::optional<uint8_t> data;
  if (acknowledged) {
    Start();
    acknowledged = SendByte(static_cast<uint8_t>(address << 1 | 1));
    if (acknowledged) data = ReceiveByte(false);
  }
  Stop();
  return data;
}

bool SmbusSegment::WriteByteData(uint8_t address, uint8_t command, uint8_t data) {
  Start();
  const bool acknowledged = SendByte(static_cast<uint8_t>(address << 1)) && SendByte(command) && SendByte(data);
  Stop();
  return acknowledged;
}

// From idle or, as a repeated start, from the clock low after an acknowledge.
void SmbusSegment::Start() {
  bus_.Drive(false, true);
  bus_.Drive(true, true);
  bus_.Drive(true, false);
  bus_.Drive(false, false);
}

void SmbusSegment::Stop() {
  bus_.Drive(false, false);
  bus_.Drive(true, false);
  bus_.Drive(true, true);
}

void SmbusSegment::SendBit(bool bit) {
  bus_.Drive(false, bit);
  bus_.Drive(true, bit);
  bus_.Drive(false, bit);
}

bool SmbusSegment::ReceiveBit() {
  bus_.Drive(false, true);
  bus_.Drive(true, true);
  const bool bit = bus_.sda();
  bus_.Drive(false, true);
  return bit;
}

bool SmbusSegment::SendByte(uint8_t byte) {
  for (int bit = 7; bit >= 0; --bit) SendBit((byte >> bit) & 1);
  return !ReceiveBit();
}

uint8_t SmbusSegment::ReceiveByte(bool acknowledge) {
  uint8_t byte = 0;
  for (int bit = 0; bit < 8; ++bit) byte = static_cast<uint8_t>(byte << 1 | (ReceiveBit() ? 1 : 0));
  SendBit(!acknowledge);
  return byte;
}

}  // namespace qelsmbus
