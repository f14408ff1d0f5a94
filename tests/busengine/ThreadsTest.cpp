// Two threads, each with its own object tree, share the one bus of the virtual
// evaluation board: every write/read-back pair comes back as written, and no call
// is refused, since nothing is nested; each operation waits for the other
// thread's and then runs whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "PrinterPort.h"
#include "SMBus.h"
#include "qelboard_control.h"

namespace {

constexpr BYTE kSwitchChip = 0x90;  // ZQS472 at 7-bit 0x48
constexpr BYTE kEeprom = 0xA0;      // 7-bit 0x50
constexpr int kPairs = 2000;

struct Tally {
  int wrong = 0;
  std::vector<HRESULT> failures;
  void Check(HRESULT hr) {
    if (hr != S_OK) failures.push_back(hr);
  }
};

// The switch byte through SMBusProtocall's send and receive byte.
void HammerTheSwitches(Tally& tally) {
  const auto port = comrt::Make<PrinterPort>();
  comrt::ComPtr<_SMBusProtocall> bus;
  tally.Check(port->get_SMBusProtocall(bus.put()));
  tally.Check(bus->put_DataInverted(-1));  // the board's drivers invert
  for (int i = 0; i < kPairs; ++i) {
    const auto written = static_cast<BYTE>(i * 7);
    BYTE read = 0;
    tally.Check(bus->ShortWrite(kSwitchChip, written));
    tally.Check(bus->ShortRead(kSwitchChip, &read));
    tally.wrong += read != written;
  }
}

// Bytes of the EEPROM through the EEPROM object, each at an address of its own.
void HammerTheEeprom(Tally& tally) {
  const auto port = comrt::Make<PrinterPort>();
  comrt::ComPtr<_EEPROM> eeprom;
  tally.Check(port->get_EEPROM(eeprom.put()));
  tally.Check(eeprom->put_DeviceAddress(kEeprom));
  for (int i = 0; i < kPairs; ++i) {
    const auto high = static_cast<BYTE>((i >> 8) & 0x0F);
    const auto low = static_cast<BYTE>(i);
    const auto written = static_cast<BYTE>(i * 13 + 1);
    BYTE read = 0;
    tally.Check(eeprom->WriteByte(high, low, written));
    tally.Check(eeprom->ReadByte(high, low, &read));
    tally.wrong += read != written;
  }
}

TEST(Threads, TwoThreadsGetBackWhatTheyWrote) {
  setenv("QEL_BOARD", "virtual", 1);
  QelBoard_Reset();
  Tally switches, eeprom;
  std::thread first(HammerTheSwitches, std::ref(switches));
  std::thread second(HammerTheEeprom, std::ref(eeprom));
  first.join();
  second.join();
  for (const Tally* tally : {&switches, &eeprom}) {
    EXPECT_EQ(tally->wrong, 0);
    EXPECT_EQ(tally->failures, std::vector<HRESULT>{});
  }
}

// Bytes of the memory module's SPD EEPROM through the PC's host controller, which
// both threads' SMBus objects drive: each thread writes a half of its own.
void HammerTheHostController(Tally& tally, int half) {
  const auto host = comrt::Make<SMBus>();
  for (int i = 0; i < kPairs / 4; ++i) {
    const auto pointer = static_cast<BYTE>(half * 128 + i % 128);
    const auto written = static_cast<BYTE>(i * 5 + half);
    BYTE read = 0;
    tally.Check(host->PortWrite(kEeprom >> 1, pointer, written));
    tally.Check(host->PortRead(kEeprom >> 1, pointer, &read));
    tally.wrong += read != written;
  }
}

TEST(Threads, TwoThreadsShareTheHostController) {
  setenv("QEL_BOARD", "virtual", 1);
  Tally low, high;
  std::thread first(HammerTheHostController, std::ref(low), 0);
  std::thread second(HammerTheHostController, std::ref(high), 1);
  first.join();
  second.join();
  for (const Tally* tally : {&low, &high}) {
    EXPECT_EQ(tally->wrong, 0);
    EXPECT_EQ(tally->failures, std::vector<HRESULT>{});
  }
}

}  // namespace
