// The exported routines: pick the backend on first use and keep the last error.
#include <memory>

#include "backend.h"
#include "qelaccess/backend_choice.h"
#include "qelaccess/last_error.h"
#include "qelsmbus/qelsmbus.h"

namespace {

using LastError = qelaccess::LastError<qelsmbus::Backend>;
using BackendChoice = qelaccess::BackendChoice<qelsmbus::Backend>;

BackendChoice::Chosen Choose() {
  return BackendChoice::Own(qelaccess::VirtualBoardAsked() ? qelsmbus::MakeVirtualBackend()
                                                           : qelsmbus::MakeHostBackend());
}

constinit BackendChoice g_backend(Choose);

qelsmbus::Backend& TheBackend() { return g_backend.Get(); }

// Configuration space is addressed in aligned 32-bit words, as the PCI
// configuration mechanism does: a register number that is not a multiple of four
// names the word that holds it (0xD2 is the word at 0xD0, whose bits 16 to 23 are
// the byte at 0xD2).
uint32_t Word(int32_t reg) { return static_cast<uint32_t>(reg) & ~3u; }

qelsmbus::PciAddress At(int32_t bus, int32_t device, int32_t function) {
  return {static_cast<uint32_t>(bus), static_cast<uint32_t>(device), static_cast<uint32_t>(function)};
}

}  // namespace

extern "C" {

int32_t ReadPCI(int32_t bus, int32_t device, int32_t function, int32_t reg) {
  LastError::Set(qelsmbus::kNoError);
  const auto at = At(bus, device, function);
  if (!at.Valid()) return -1;
  return static_cast<int32_t>(TheBackend().ReadConfig(at, Word(reg)));
}

void WritePCI(int32_t bus, int32_t device, int32_t function, int32_t reg, int32_t value) {
  LastError::Set(qelsmbus::kNoError);
  const auto at = At(bus, device, function);
  if (!at.Valid()) return;
  TheBackend().WriteConfig(at, Word(reg), static_cast<uint32_t>(value));
}

int32_t ReadByBase(int32_t address) {
  uint8_t value = 0;
  LastError::Set(TheBackend().ReadPort(static_cast<uint16_t>(address), value));
  return value;
}

void WriteByBase(int32_t address, int32_t value) {
  LastError::Set(TheBackend().WritePort(static_cast<uint16_t>(address), static_cast<uint8_t>(value)));
}

int32_t QELSMBusLastError(void) { return LastError::Get(); }

void QELSMBusReset(void) {
  g_backend.Reset();
  LastError::Set(qelsmbus::kNoError);
}

}  // extern "C"
