// The library's process-wide state put back to its load-time values, a recorder
// with one port at 0x378, and the wire rendered in the library's line codes in force.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BusLines.h"
#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "Notation.h"
#include "parport_recorder.h"
#include "qel/system.h"

namespace bustest {

namespace cg = CommonGlobals;
namespace cp = CommunicationsProcedures;

inline void ResetLibraryState() {
  cg::Reset();
  cp::Reset();
}

class BusTest : public ::testing::Test {
 protected:
  void SetUp() override { Restart(); }
  void TearDown() override {
    qelsys::SetYieldHook(nullptr);
    qelsys::SetClock(nullptr);
  }

  // What each test starts from: the library's state at load, an empty log, and one
  // port at 0x378 under the plain line codes.
  static void Restart() {
    ResetLibraryState();
    RecorderReset();
    cg::PortCount = 1;
    cg::PortAddress = 0x378;
    cg::PlainLineCodes();
  }

  // Every bit delay becomes one yield, logged as "D"; frame delays stay off.
  static void MarkBitDelays() {
    cp::RelativeDelayOn = -1;
    cp::Delay = 1;
    qelsys::SetYieldHook([] { RecorderMark('D'); });
  }

  static std::string Wire() {
    const auto codes = quorlink::lines::InForce();
    return recorder::Wire(
        {codes.sdaHighSclHigh, codes.sdaLowSclHigh, codes.sdaLowSclLow, codes.sdaHighSclLow, cg::PortAddress});
  }

  static void ScriptStatus(std::initializer_list<uint8_t> values, uint8_t thereafter = 0) {
    const std::vector<uint8_t> script(values);
    RecorderScriptStatus(script.data(), static_cast<int32_t>(script.size()), thereafter);
  }

  // Status readings that make ReceiveDataByte see these bytes in turn.
  static void ScriptBytes(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> status;
    for (uint8_t byte : bytes) {
      const auto bits = StatusFor(byte);
      status.insert(status.end(), bits.begin(), bits.end());
    }
    RecorderScriptStatus(status.data(), static_cast<int32_t>(status.size()), 0);
  }
};

}  // namespace bustest
