// The six routines of the parallel-port access library and its error query. They
// are C entry points: no exception leaves them, and bad input gives 0.
#include "parport2k.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backend.h"
#include "export.h"
#include "ppdev_backend.h"
#include "virtual_board.h"

namespace parport2k {

namespace {

// Written by every byte access: in the library's static TLS block, so that the
// write is one store instead of a lookup of the library's TLS block per call.
[[gnu::tls_model("initial-exec")]] thread_local std::int32_t t_last_error = PARPORT_ERROR_NONE;

Backend& Choose() {
  const char* board = std::getenv("QEL_BOARD");
  if (board != nullptr && std::strcmp(board, "virtual") == 0) {
    VirtualBoard& virtual_board = TheVirtualBoard();
    const char* trace = std::getenv("QEL_BOARD_TRACE");
    if (trace != nullptr && *trace != '\0' && !virtual_board.TraceTo(trace)) {
      std::fprintf(stderr, "libparport2k: cannot write the trace file %s\n", trace);
    }
    return virtual_board;
  }
  static PpdevBackend host;
  return host;
}

Backend& TheBackend() {
  static Backend& backend = Choose();
  return backend;
}

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
  parport2k::t_last_error = error;
  return error == PARPORT_ERROR_NONE ? 1 : 0;
}

PARPORT2K_EXPORT int32_t InByte(int32_t Address) {
  std::uint8_t value = 0;
  std::int32_t error = PARPORT_ERROR_DEVICE_IO;
  try {
    error = TheBackend().In(parport2k::IoAddress(Address), value);
  } catch (...) {
  }
  parport2k::t_last_error = error;
  return error == PARPORT_ERROR_NONE ? value : 0;
}

PARPORT2K_EXPORT int32_t ParPortLastError(void) { return parport2k::t_last_error; }

}  // extern "C"
