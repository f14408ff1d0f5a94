// What the exported routines ask of a backend. Port numbers are those of the
// callers (from 1); I/O addresses are 16 bits.
#pragma once
#include <cstdint>

namespace parport2k {

class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::int32_t PortCount() = 0;
  // False when no port has that number.
  virtual bool PortBase(std::int32_t number, std::uint32_t& base) = 0;
  virtual bool Claim(std::int32_t number) = 0;
  // False when the port was not claimed.
  virtual bool Release(std::int32_t number) = 0;
  // PARPORT_ERROR_NONE when done, else why not (a PARPORT_ERROR_ number).
  virtual std::int32_t Out(std::uint16_t address, std::uint8_t value) = 0;
  virtual std::int32_t In(std::uint16_t address, std::uint8_t& value) = 0;
};

}  // namespace parport2k
