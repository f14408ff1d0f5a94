#include "pci_function.h"

namespace qelsmbus {

namespace {
constexpr uint32_t kIdentifierBytes = 4;
}

PciFunction::PciFunction(uint32_t identifier) { SetConfig(0, identifier); }

uint32_t PciFunction::ReadConfig(uint32_t reg) const {
  uint32_t value = 0;
  for (uint32_t i = 0; i < 4; ++i) {
    const uint32_t at = reg + i;
    const uint32_t byte = at >= reg && at < config_.size() ? config_[at] : 0xFF;
    value |= byte << (8 * i);
  }
  return value;
}

void PciFunction::WriteConfig(uint32_t reg, uint32_t value) {
  for (uint32_t i = 0; i < 4; ++i) {
    const uint32_t at = reg + i;
    if (at >= kIdentifierBytes && at >= reg && at < config_.size()) config_[at] = static_cast<uint8_t>(value >> (8 * i));
  }
}

void PciFunction::SetConfig(uint32_t reg, uint32_t value) {
  for (uint32_t i = 0; i < 4 && reg + i < config_.size(); ++i) config_[reg + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace qelsmbus
