// The six routines of the parallel-port access library and its error query. They
// are C entry points: no exception leaves them, and bad input gives 0.
#include "parport2k.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "backend.h"
#include "export.h"
#include "ppdev_backend.h"
#include "qelaccess/backend_choice.h"
#include "qelaccess/last_error.h"
#include "virtual_board.h"

namespace parport2k {

namespace {

using LastError = qelaccess::LastError<Backend>;
using BackendChoice = qelaccess::BackendChoice<Backend>;

BackendChoice::Chosen Choose() {
  if (qelaccess::VirtualBoardAsked()) {
    VirtualBoard& virtual_board = TheVirtualBoard();
    const char* trace = std::getenv("QEL_BOARD_TRACE");
    if (trace != nullptr && *trace != '\0' && !virtual_board.TraceTo(trace)) {
      std::fprintf(stderr, "libparport2k: cannot write the trace file %s\n", trace);
    }
    // The board is the process's one, which the fixture controls reach too.
    return BackendChoice::Borrow(virtual_board);
  }
  return BackendChoice::Own(std::make_unique<PpdevBackend>());
}

constinit BackendChoice g_backend(Choose);

Backend& TheBackend() { return g_backend.Get(); }

std::uint16_t IoAddress(std::int32_t address) { return static_cast<std::uint16_t>(address); }

}  // namespace

}  // namespace parport2k

using parport2k::TheBackend;

extern "C" {

PARPORT2K_EXPORT int32_t GetParallelPortCount(void) {
  try {
    return TheBackend().PortCount();
  } catch (...) {
    return 0;
  }
}

PARPORT2K_EXPORT int32_t GetParallelPortInfo(int32_t PortNumber, ParallelPortInfo* Info) {
  if (Info == nullptr || Info->Size < sizeof(ParallelPortInfo)) return 0;
  try {
    std::uint32_t base = 0;
    if (!TheBackend().PortBase(PortNumber, base)) return 0;
    Info->BaseAddress = base;
    return 1;
  } catch (...) {
    return 0;
  }
}

PARPORT2K_EXPORT int32_t ClaimParallelPort(int32_t PortNumber, int32_t) {
  try {
    return TheBackend().Claim(PortNumber) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

PARPORT2K_EXPORT int32_t ReleaseParallelPort(int32_t PortNumber) {
  try {
    return TheBackend().Release(PortNumber) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

PARPORT2K_EXPORT int32_t OutByte(int32_t Address, int32_t Value) {
  std::int32_t error = PARPORT_ERROR_DEVICE_IO;
  try {
    error = TheBackend().Out(parport2k::IoAddress(Address), static_cast<std::uint8_t>(Value));
  } catch (...) {
  }
  parport2k::LastError::Set(error);
  return error == PARPORT_ERROR_NONE ? 1 : 0;
}

PARPORT2K_EXPORT int32_t InByte(int32_t Address) {
  std::uint8_t value = 0;
  std::int32_t error = PARPORT_ERROR_DEVICE_IO;
  try {
    error = TheBackend().In(parport2k::IoAddress(Address), value);
  } catch (...) {
  }
  parport2k::LastError::Set(error);
  return error == PARPORT_ERROR_NONE ? value : 0;
}

PARPORT2K_EXPORT int32_t ParPortLastError(void) { return parport2k::LastError::Get(); }

}  // extern "C"
