#include "PrinterPort.h"

#include <optional>
#include <vector>

#include "BusOperation.h"
#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "EEPROM.h"
#include "Parport2k.h"
#include "PortRegisters.h"
#include "SMBusProtocall.h"

namespace cg = CommonGlobals;
namespace cp = CommunicationsProcedures;

namespace {

using parport2k::BaseOf;
using parport2k::InfoRecord;

uint8_t CountPorts() { return static_cast<uint8_t>(parport2k::GetParallelPortCount()); }

// With at least one port: port 1's base becomes the selected base (the index stays)
// and the table of bases is built anew, 0 for a port whose information call fails.
void EnumeratePorts() {
  cg::PortCount = CountPorts();
  if (cg::PortCount == 0) return;
  parport2k::ParallelPortInfo info = InfoRecord();
  if (const auto base = BaseOf(1, info)) cg::PortAddress = *base;
  std::vector<int16_t> table(cg::PortCount, 0);
  for (int32_t number = 1; number <= cg::PortCount; ++number) {
    if (const auto base = BaseOf(number, info)) table[number - 1] = *base;
  }
  cg::PortAddresses = std::move(table);
}

}  // namespace

PrinterPort::PrinterPort() {
  const quorlink::BusHold hold;
  cg::IsWin9x = cg::IsWin9xBuild(cg::GetBuildNumber());
  EnumeratePorts();
  mSMBusProtocall = comrt::Make<SMBusProtocall>();
  mDataPort = comrt::Make<DataPort>();
  mStatusPort = comrt::Make<StatusPort>();
  mControlPort = comrt::Make<ControlPort>();
  mEEPROM = comrt::Make<EEPROM>();
}

PrinterPort::~PrinterPort() {
  mEEPROM.reset();
  mSMBusProtocall.reset();
  mDataPort.reset();
  mStatusPort.reset();
  mControlPort.reset();
}

// Claims and releases the port, so it counts as a bus operation: from a yield
// inside a transaction it would release the port under it.
HRESULT PrinterPort::put_LockPortOpen(VARIANT_BOOL value) {
  return Call([&] {
    quorlink::OnBus([value] {
      cg::LockPortOpen = value;
      if (value != 0) {
        cg::LockPortOpen = cg::ClaimPort();
      } else {
        cg::ReleasePort();
      }
    });
  });
}
HRESULT PrinterPort::get_LockPortOpen(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = cg::LockPortOpen; });
}

HRESULT PrinterPort::get_PrinterPortsDetected(BYTE* retval) {
  return Call([&] {
    BYTE* out = comrt::Out(retval);
    *out = CountPorts();
  });
}

// A change of selection may give up a claim, so it is a bus operation, like the
// claims. The index is stored even when no port has it; claims that follow name it.
HRESULT PrinterPort::put_PortAddressIndex(BYTE value) {
  return Call([&] {
    quorlink::OnBus([value] {
      cg::SelectPortIndex(value);
      if (value < cg::PortCount && cg::PortAddresses && value < cg::PortAddresses->size()) {
        cg::PortAddress = (*cg::PortAddresses)[value];
      }
    });
  });
}
HRESULT PrinterPort::get_PortAddressIndex(BYTE* retval) {
  return Call([&] { *comrt::Out(retval) = cg::PortIndex; });
}

// Counts the ports anew and reads the selected port's base again before looking
// for a port with this base; the table of bases is not rebuilt.
HRESULT PrinterPort::put_PortAddress(short value) {
  return Call([&] {
    quorlink::OnBus([value] {
      cg::PortCount = CountPorts();
      if (cg::PortCount > 0) {
        parport2k::ParallelPortInfo info = InfoRecord();
        if (const auto base = BaseOf(cg::PortIndex + 1, info)) cg::PortAddress = *base;
      }
      cg::SelectPortByAddress(value);
    });
  });
}
HRESULT PrinterPort::get_PortAddress(short* retval) {
  return Call([&] { *comrt::Out(retval) = cg::PortAddress; });
}

HRESULT PrinterPort::put_DeviceAddress(BYTE value) {
  return Call([&] { cg::DeviceAddress = value; });
}
HRESULT PrinterPort::get_DeviceAddress(BYTE* retval) {
  return Call([&] { *comrt::Out(retval) = cg::DeviceAddress; });
}

HRESULT PrinterPort::put_DataInverted(VARIANT_BOOL value) {
  return Call([&] { cp::SetDataInverted(value); });
}
// Reading makes the line codes in force agree with the flag.
HRESULT PrinterPort::get_DataInverted(VARIANT_BOOL* retval) {
  return Call([&] {
    VARIANT_BOOL* out = comrt::Out(retval);
    const bool inverted = cg::DataInverted != 0;
    if (inverted) {
      cg::InvertedLineCodes();
    } else {
      cg::PlainLineCodes();
    }
    *out = quorlink::ToBoolean(inverted);
  });
}

// A client that stored null gets a new EEPROM here; when making it fails the
// result is null.
HRESULT PrinterPort::get_EEPROM(_EEPROM** retval) {
  return Call([&] {
    *comrt::Out(retval) = nullptr;
    if (!mEEPROM) mEEPROM = comrt::Make<EEPROM>();
    comrt::HandOut(mEEPROM, retval);
  });
}
HRESULT PrinterPort::putref_EEPROM(_EEPROM** value) {
  return Call([&] { comrt::Replace(mEEPROM, value); });
}

HRESULT PrinterPort::get_SMBusProtocall(_SMBusProtocall** retval) {
  return Call([&] { comrt::HandOut(mSMBusProtocall, retval); });
}
HRESULT PrinterPort::putref_SMBusProtocall(_SMBusProtocall** value) {
  return Call([&] { comrt::Replace(mSMBusProtocall, value); });
}
HRESULT PrinterPort::get_DataPort(_DataPort** retval) {
  return Call([&] { comrt::HandOut(mDataPort, retval); });
}
HRESULT PrinterPort::putref_DataPort(_DataPort** value) {
  return Call([&] { comrt::Replace(mDataPort, value); });
}
HRESULT PrinterPort::get_StatusPort(_StatusPort** retval) {
  return Call([&] { comrt::HandOut(mStatusPort, retval); });
}
HRESULT PrinterPort::putref_StatusPort(_StatusPort** value) {
  return Call([&] { comrt::Replace(mStatusPort, value); });
}
HRESULT PrinterPort::get_ControlPort(_ControlPort** retval) {
  return Call([&] { comrt::HandOut(mControlPort, retval); });
}
HRESULT PrinterPort::putref_ControlPort(_ControlPort** value) {
  return Call([&] { comrt::Replace(mControlPort, value); });
}
