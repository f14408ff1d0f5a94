// A family of host SMBus controllers as the SMBus class drives it: one record of
// all that differs between families (the identifiers that belong to it, its
// configuration, its registers, the register writes of each transaction and how
// its status says wait), chosen once by the controller's identifier. A family
// added is one record more (SMBus.cpp).
#pragma once
#include <cstdint>
#include <span>

namespace quorlink {

struct ControllerFamily {
  // One register write of a transaction: the offset from the base, and its value,
  // fixed or the transaction's own.
  enum class From : uint8_t { Value, Pointer, Address, Data };
  struct RegisterWrite {
    int32_t offset;
    From from;
    int32_t value = 0;
  };
  using Sequence = std::span<const RegisterWrite>;

  std::span<const int32_t> identifiers;  // in table order
  // Sets up the controller found at (bus, device, function) under `identifier`
  // and gives `base` its register base.
  void (*configure)(int32_t identifier, uint8_t bus, uint8_t device, uint8_t function, int32_t& base);
  int32_t status;     // offset of the status register: the waits poll it, the probe decides on it
  int32_t busyMask;   // the status says wait while (status AND busyMask) is busyValue
  int32_t busyValue;
  int32_t absentMask;  // a probe whose final status has any of these bits finds no device
  int32_t data;        // offset of the register a read takes its byte from
  // The register writes of each transaction, made after a first wait; the probe
  // and the read wait again after them.
  Sequence probe, write, read;
};

}  // namespace quorlink
