// A program that drives the virtual board's bus on command, for the trace tests:
// it reads one command a line from standard input and answers each with "ok"
// (after "send", "ok 1" when the chip acknowledged, "ok 0" when it did not).
//   send N     a send-byte transaction of N to the ZQS472
//   start      a start and the chip's address, then nothing more
//   pause MS   waits MS milliseconds
//   step       one port write with SCL low
//   release    gives back the port and claims it again
//   quit       ends the program normally
// Tracing is the library's own: QEL_BOARD_TRACE names the file.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "bit_banger.h"
#include "parport2k.h"
#include "port_lines.h"

namespace {
constexpr std::int32_t kCabled = 0x378;
constexpr std::uint8_t kSwitchChip = 0x48;
}  // namespace

int main() {
  PortLines lines(kCabled);
  BitBanger bus(lines);
  if (ClaimParallelPort(1, -1) != 1) return 1;
  for (std::string command; std::cin >> command;) {
    if (command == "send") {
      int value = 0;
      std::cin >> value;
      std::printf("ok %d\n", bus.SendByte(kSwitchChip, static_cast<std::uint8_t>(value)) ? 1 : 0);
    } else if (command == "start") {
      bus.Start();
      bus.Write(kSwitchChip << 1);
      std::printf("ok\n");
    } else if (command == "pause") {
      int ms = 0;
      std::cin >> ms;
      usleep(static_cast<useconds_t>(ms) * 1000);
      std::printf("ok\n");
    } else if (command == "step") {
      lines.Lines(false, true);
      std::printf("ok\n");
    } else if (command == "release") {
      ReleaseParallelPort(1);
      ClaimParallelPort(1, -1);
      std::printf("ok\n");
    } else if (command == "quit") {
      return 0;
    } else {
      return 2;
    }
    std::fflush(stdout);
  }
  return 0;
}
