// One function on the virtual PCI bus: 256 bytes of configuration space whose
// identifier dword is read-only, and the I/O ports the function decodes, if any.
#pragma once
#include <array>
#include <cstdint>

namespace qelsmbus {

class PciFunction {
 public:
  explicit PciFunction(uint32_t identifier);
  virtual ~PciFunction() = default;

  // 32 bits from offset `reg`; bytes past the end read as all ones.
  uint32_t ReadConfig(uint32_t reg) const;
  // Bytes past the end and the identifier's bytes are left as they are.
  void WriteConfig(uint32_t reg, uint32_t value);

  virtual bool Decodes(uint16_t /*port*/) const { return false; }
  virtual uint8_t ReadPort(uint16_t /*port*/) { return 0xFF; }
  virtual void WritePort(uint16_t /*port*/, uint8_t /*value*/) {}

 protected:
  void SetConfig(uint32_t reg, uint32_t value);

 private:
  std::array<uint8_t, 256> config_{};
};

}  // namespace qelsmbus
