// Reading the recording library's log as short lines, and filling its contents.
//   "R 0:07.3 90"           configuration read of register 0x90
//   "W 0:07.3 D2 00010201"  configuration write
//   "r +0"  "w +3 12"       I/O read and write, relative to a base
//   "timer"  "yield"        marks left by the fake clock and yield hook
#pragma once
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "qelsmbus/recorder.h"

enum Mark : int32_t { kTimerMark = 1, kYieldMark = 2 };

inline std::string Line(const RecorderCall& call, int32_t base) {
  char text[64];
  switch (call.kind) {
    case kRecordReadPCI:
      std::snprintf(text, sizeof text, "R %d:%02d.%d %02X", call.bus, call.device, call.function, call.reg);
      break;
    case kRecordWritePCI:
      std::snprintf(text, sizeof text, "W %d:%02d.%d %02X %08X", call.bus, call.device, call.function, call.reg,
                    static_cast<uint32_t>(call.value));
      break;
    case kRecordReadByBase:
      std::snprintf(text, sizeof text, "r +%X", call.address - base);
      break;
    case kRecordWriteByBase:
      std::snprintf(text, sizeof text, "w +%X %02X", call.address - base, call.value);
      break;
    default:
      return call.value == kTimerMark ? "timer" : "yield";
  }
  return text;
}

inline std::vector<std::string> Log(int32_t base = 0) {
  std::vector<std::string> lines;
  for (int32_t i = 0; i < RecorderCallCount(); ++i) lines.push_back(Line(RecorderCalls()[i], base));
  return lines;
}

// The log without the configuration reads of register 0, that is, without the search.
inline std::vector<std::string> LogAfterSearch() {
  std::vector<std::string> lines;
  for (int32_t i = 0; i < RecorderCallCount(); ++i) {
    const RecorderCall& call = RecorderCalls()[i];
    if (!(call.kind == kRecordReadPCI && call.reg == 0)) lines.push_back(Line(call, 0));
  }
  return lines;
}

inline void SetConfig(int32_t bus, int32_t device, int32_t function, int32_t reg, std::initializer_list<int32_t> values) {
  RecorderSetConfig(bus, device, function, reg, values.begin(), static_cast<int32_t>(values.size()));
}

inline void SetPort(int32_t address, std::initializer_list<int32_t> values) {
  RecorderSetPort(address, values.begin(), static_cast<int32_t>(values.size()));
}
