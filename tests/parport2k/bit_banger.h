// A plain two-wire master for the tests, written from the bus protocol: SDA moves
// only while SCL is low, bits are read while SCL is high. It drives any pair of
// lines given by a LineDriver.
#pragma once
#include <cstdint>
#include <vector>

class LineDriver {
 public:
  virtual void Lines(bool scl, bool sda) = 0;
  virtual bool SdaIsHigh() = 0;

 protected:
  ~LineDriver() = default;
};

class BitBanger {
 public:
  explicit BitBanger(LineDriver& lines) : lines_(lines) {}

  void Start() {
    if (!scl_) Set(false, true);
    Set(true, true);
    Set(true, false);
    Set(false, false);
  }
  void Stop() {
    Set(false, false);
    Set(true, false);
    Set(true, true);
  }
  // True when the device acknowledged.
  bool Write(std::uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) Clock((byte >> bit & 1) != 0);
    return !Clock(true);
  }
  std::uint8_t Read(bool ack) {
    std::uint8_t byte = 0;
    for (int bit = 0; bit < 8; ++bit) byte = static_cast<std::uint8_t>(byte << 1 | (Clock(true) ? 1 : 0));
    Clock(!ack);
    return byte;
  }

  bool SendByte(std::uint8_t address, std::uint8_t data) {
    Start();
    const bool acked = Write(static_cast<std::uint8_t>(address << 1)) && Write(data);
    Stop();
    return acked;
  }
  // The byte read, or -1 when the address was not acknowledged.
  int ReceiveByte(std::uint8_t address) {
    Start();
    const bool acked = Write(static_cast<std::uint8_t>(address << 1 | 1));
    const std::uint8_t byte = Read(false);
    Stop();
    return acked ? byte : -1;
  }
  // A memory write: the address bytes, high first, then the data, in one message.
  bool WriteMemory(std::uint8_t device, const std::vector<std::uint8_t>& address_and_data) {
    Start();
    bool acked = Write(static_cast<std::uint8_t>(device << 1));
    for (std::uint8_t byte : address_and_data) acked = Write(byte) && acked;
    Stop();
    return acked;
  }
  // Sets the memory address, then reads count bytes after a repeated start, or
  // after a stop and a new start.
  std::vector<std::uint8_t> ReadMemory(std::uint8_t device, const std::vector<std::uint8_t>& address,
                                       int count, bool repeated_start = true) {
    Start();
    Write(static_cast<std::uint8_t>(device << 1));
    for (std::uint8_t byte : address) Write(byte);
    if (!repeated_start) Stop();
    Start();
    Write(static_cast<std::uint8_t>(device << 1 | 1));
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < count; ++i) bytes.push_back(Read(i + 1 < count));
    Stop();
    return bytes;
  }

 private:
  void Set(bool scl, bool sda) {
    scl_ = scl;
    lines_.Lines(scl, sda);
  }
  // One clock pulse with the master's SDA at bit; returns SDA as read while SCL is high.
  bool Clock(bool bit) {
    Set(false, bit);
    Set(true, bit);
    const bool sda = lines_.SdaIsHigh();
    Set(false, bit);
    return sda;
  }

  LineDriver& lines_;
  bool scl_ = true;
};
