// The exported routines: pick the backend on first use and keep the last error.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "backend.h"
#include "qelsmbus/qelsmbus.h"

namespace {

// Chosen once by the first call of any thread; read without a lock after that.
std::mutex g_choosing;
std::unique_ptr<qelsmbus::Backend> g_chosen;  // guarded by g_choosing
std::atomic<qelsmbus::Backend*> g_backend{nullptr};
// Written by every call: in the library's static TLS block, so that the write is
// one store instead of a lookup of the library's TLS block per call.
[[gnu::tls_model("initial-exec")]] thread_local int32_t g_lastError = qelsmbus::kNoError;

qelsmbus::Backend& TheBackend() {
  if (qelsmbus::Backend* backend = g_backend.load(std::memory_order_acquire)) return *backend;
  const std::lock_guard choosing(g_choosing);
  if (!g_chosen) {
    const char* board = std::getenv("QEL_BOARD");
    const bool isVirtual = board != nullptr && std::strcmp(board, "virtual") == 0;
    g_chosen = isVirtual ? qelsmbus::MakeVirtualBackend() : qelsmbus::MakeHostBackend();
    g_backend.store(g_chosen.get(), std::memory_order_release);
  }
  return *g_chosen;
}

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
  g_lastError = qelsmbus::kNoError;
  const auto at = At(bus, device, function);
  if (!at.Valid()) return -1;
  return static_cast<int32_t>(TheBackend().ReadConfig(at, Word(reg)));
}

void WritePCI(int32_t bus, int32_t device, int32_t function, int32_t reg, int32_t value) {
  g_lastError = qelsmbus::kNoError;
  const auto at = At(bus, device, function);
  if (!at.Valid()) return;
  TheBackend().WriteConfig(at, Word(reg), static_cast<uint32_t>(value));
}

int32_t ReadByBase(int32_t address) {
  uint8_t value = 0;
  g_lastError = TheBackend().ReadPort(static_cast<uint16_t>(address), value);
  return value;
}

void WriteByBase(int32_t address, int32_t value) {
  g_lastError = TheBackend().WritePort(static_cast<uint16_t>(address), static_cast<uint8_t>(value));
}

int32_t QELSMBusLastError(void) { return g_lastError; }

void QELSMBusReset(void) {
  const std::lock_guard choosing(g_choosing);
  g_backend.store(nullptr, std::memory_order_release);
  g_chosen.reset();
  g_lastError = qelsmbus::kNoError;
}

}  // extern "C"
