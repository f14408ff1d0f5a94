// The virtual machine: a PCI bus holding a host bridge and, as QEL_SMBUS_CONTROLLER
// says, an SMBus host controller whose segment carries a memory module's SPD EEPROM.
//   8086 (default)  identifier 0x71138086 at bus 0, device 7, function 3, I/O base 0x1040
//   10B9            identifier 0x710110B9 at bus 0, device 17, function 0, I/O base 0x5000
//   none            no controller
//   <hex>           a function with that identifier at bus 0, device 7, function 3,
//                   decoding no ports
// Any other text leaves the bus without a controller.
#include <strings.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "../backend.h"
#include "controller_10b9.h"
#include "controller_8086.h"

namespace qelsmbus {
namespace {

class VirtualBackend final : public Backend {
 public:
  VirtualBackend() {
    Place({0, 0, 0}, std::make_unique<PciFunction>(0x12378086));
    const char* setting = std::getenv("QEL_SMBUS_CONTROLLER");
    const std::string controller = setting != nullptr && *setting != '\0' ? setting : "8086";
    if (strcasecmp(controller.c_str(), "8086") == 0) {
      Place({0, 7, 3}, std::make_unique<Controller8086>(segment_, 0x1040));
    } else if (strcasecmp(controller.c_str(), "10B9") == 0) {
      Place({0, 17, 0}, std::make_unique<Controller10B9>(segment_, 0x5000));
    } else if (uint32_t identifier = 0; ParseHex(controller, identifier)) {
      Place({0, 7, 3}, std::make_unique<PciFunction>(identifier));
    }
  }

  uint32_t ReadConfig(PciAddress at, uint32_t reg) override {
    const PciFunction* function = Find(at);
    return function != nullptr ? function->ReadConfig(reg) : 0xFFFFFFFF;
  }

  void WriteConfig(PciAddress at, uint32_t reg, uint32_t value) override {
    if (PciFunction* function = Find(at)) function->WriteConfig(reg, value);
  }

  int32_t ReadPort(uint16_t port, uint8_t& value) override {
    PciFunction* function = Decoder(port);
    value = function != nullptr ? function->ReadPort(port) : 0xFF;
    return kNoError;
  }

  int32_t WritePort(uint16_t port, uint8_t value) override {
    if (PciFunction* function = Decoder(port)) function->WritePort(port, value);
    return kNoError;
  }

 private:
  static uint32_t Key(PciAddress at) { return (at.bus << 8) | (at.device << 3) | at.function; }

  static bool ParseHex(const std::string& text, uint32_t& value) {
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text.c_str(), &end, 16);
    if (end == text.c_str() || *end != '\0' || parsed > 0xFFFFFFFFul) return false;
    value = static_cast<uint32_t>(parsed);
    return true;
  }

  void Place(PciAddress at, std::unique_ptr<PciFunction> function) {
    functions_.emplace_back(Key(at), std::move(function));
  }

  PciFunction* Find(PciAddress at) const {
    for (const auto& [key, function] : functions_) {
      if (key == Key(at)) return function.get();
    }
    return nullptr;
  }

  PciFunction* Decoder(uint16_t port) const {
    for (const auto& entry : functions_) {
      if (entry.second->Decodes(port)) return entry.second.get();
    }
    return nullptr;
  }

  SmbusSegment segment_;
  std::vector<std::pair<uint32_t, std::unique_ptr<PciFunction>>> functions_;
};

}  // namespace

std::unique_ptr<Backend> MakeVirtualBackend() { return std::make_unique<VirtualBackend>(); }

}  // namespace qelsmbus
