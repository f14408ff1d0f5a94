// The library's process-wide state put back to its load-time values, a recorder
// with one port at 0x378, and the wire rendered in the line codes in force.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "parport_recorder.h"
#include "qel/system.h"

namespace bustest {

namespace cg = CommonGlobals;
namespace cp = CommunicationsProcedures;

inline void ResetLibraryState() {
  cg::PortIndex = 0;
  cg::PortCount = 0;
  cg::PortClaimed = 0;
  cg::PortAddresses.reset();
  cg::DeviceAddress = 0;
  cg::PortAddress = 0;
  cg::DataInverted = 0;
  cg::BitsToStayHigh = 0;
  cg::CodeSDAHighSCLHigh = cg::CodeSDALowSCLHigh = cg::CodeSDALowSCLLow = cg::CodeSDAHighSCLLow = 0;
  cg::IsWin9x = 0;
  cg::LockPortOpen = 0;
  std::memset(&cg::OSInfo, 0, sizeof cg::OSInfo);
  cg::BuildNumber.reset();
  cp::OrBits = 0;
  cp::CheckForAck = cp::ThereWasNoAck = 0;
  cp::Delay = 0;
  cp::AddressPointer = 0;
  cp::WaitMark = 0;
  cp::RepeatedStart = 0;
  cp::FrameDelay = 0;
  cp::RelativeDelayOn = cp::VideoSoftware = cp::ActAsMaster = 0;
  std::memset(cp::PECData, 0, sizeof cp::PECData);
  cp::BitCount = cp::BitIndex = cp::DataByte = cp::StatusByte = 0;
}

class BusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryState();
    RecorderReset();
    cg::PortCount = 1;
    cg::PortAddress = 0x378;
    cg::PlainLineCodes();
  }
  void TearDown() override {
    qelsys::SetYieldHook(nullptr);
    qelsys::SetClock(nullptr);
  }

  // Every bit delay becomes one yield, logged as "D"; frame delays stay off.
  static void MarkBitDelays() {
    cp::RelativeDelayOn = -1;
    cp::Delay = 1;
    qelsys::SetYieldHook([] { RecorderMark('D'); });
  }

  static std::string Wire() {
    return recorder::Wire({static_cast<uint8_t>(cg::CodeSDAHighSCLHigh | cg::BitsToStayHigh),
                           static_cast<uint8_t>(cg::CodeSDALowSCLHigh | cg::BitsToStayHigh),
                           static_cast<uint8_t>(cg::CodeSDALowSCLLow | cg::BitsToStayHigh),
                           static_cast<uint8_t>(cg::CodeSDAHighSCLLow | cg::BitsToStayHigh), cg::PortAddress});
  }

  static void ScriptStatus(std::initializer_list<uint8_t> values, uint8_t thereafter = 0) {
    const std::vector<uint8_t> script(values);
    RecorderScriptStatus(script.data(), static_cast<int32_t>(script.size()), thereafter);
  }
};

}  // namespace bustest
