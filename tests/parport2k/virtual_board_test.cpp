// The library on the virtual evaluation board (QEL_BOARD=virtual), through its
// exported routines only.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bit_banger.h"
#include "parport2k.h"
#include "port_lines.h"
#include "qelboard_control.h"

namespace {

constexpr int32_t kCabled = 0x378;
constexpr int32_t kOpen = 0x278;
constexpr std::uint8_t kSwitchChip = 0x48;
constexpr std::uint8_t kEeprom = 0x50;

class VirtualBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    QelBoard_Reset();
    ASSERT_EQ(ClaimParallelPort(1, -1), 1);
  }
  void TearDown() override { ReleaseParallelPort(1); }

  PortLines lines_{kCabled};
  BitBanger bus_{lines_};
};

TEST_F(VirtualBoard, EnumeratesTheCabledAndTheOpenPort) {
  ASSERT_EQ(GetParallelPortCount(), 2);
  ParallelPortInfo info{12, 0, 0xDEADBEEF};
  ASSERT_EQ(GetParallelPortInfo(1, &info), 1);
  EXPECT_EQ(info.BaseAddress, 0x378u);
  ASSERT_EQ(GetParallelPortInfo(2, &info), 1);
  EXPECT_EQ(info.BaseAddress, 0x278u);
  EXPECT_EQ(info.Size, 12u);
  EXPECT_EQ(info.Reserved, 0xDEADBEEFu);
}

TEST_F(VirtualBoard, BadInputGivesZeroAndWritesNothing) {
  for (int32_t number : {0, 3, -1, INT32_MIN, INT32_MAX}) {
    ParallelPortInfo info{12, 0x1234, 0x5678};
    EXPECT_EQ(GetParallelPortInfo(number, &info), 0) << number;
    EXPECT_EQ(info.BaseAddress, 0x1234u) << number;
    EXPECT_EQ(ClaimParallelPort(number, -1), 0) << number;
    EXPECT_EQ(ReleaseParallelPort(number), 0) << number;
  }
  EXPECT_EQ(GetParallelPortInfo(1, nullptr), 0);
  for (uint32_t size : {0u, 4u, 11u}) {
    ParallelPortInfo info{size, 0x1234, 0x5678};
    EXPECT_EQ(GetParallelPortInfo(1, &info), 0) << size;
    EXPECT_EQ(info.BaseAddress, 0x1234u) << size;
  }
}

TEST_F(VirtualBoard, ClaimsAreKeptOnceAndReleasedOnce) {
  EXPECT_EQ(ReleaseParallelPort(2), 0);  // never claimed: no effect
  EXPECT_EQ(ClaimParallelPort(2, -1), 1);
  EXPECT_EQ(ClaimParallelPort(2, -1), 1);
  EXPECT_EQ(ReleaseParallelPort(2), 1);
  EXPECT_EQ(ReleaseParallelPort(2), 0);
  EXPECT_EQ(ClaimParallelPort(2, -1), 1);
  EXPECT_EQ(ReleaseParallelPort(2), 1);
}

TEST_F(VirtualBoard, SwitchByteSentIsReceivedBack) {
  ASSERT_TRUE(bus_.SendByte(kSwitchChip, 0xA5));
  EXPECT_EQ(QelBoard_GetSwitchByte(), 0xA5);
  EXPECT_EQ(bus_.ReceiveByte(kSwitchChip), 0xA5);

  QelBoard_SetSwitchByte(0x3C);
  EXPECT_EQ(bus_.ReceiveByte(kSwitchChip), 0x3C);

  // Several bytes in one message: the last one stands.
  EXPECT_TRUE(bus_.WriteMemory(kSwitchChip, {0x11, 0x22, 0x81}));
  EXPECT_EQ(QelBoard_GetSwitchByte(), 0x81);
}

TEST_F(VirtualBoard, SwitchesAreOffAfterReset) {
  QelBoard_SetSwitchByte(0xFF);
  QelBoard_Reset();
  EXPECT_EQ(bus_.ReceiveByte(kSwitchChip), 0x00);
}

TEST_F(VirtualBoard, EepromByteWriteThenRandomRead) {
  ASSERT_TRUE(bus_.WriteMemory(kEeprom, {0x01, 0x23, 0x5A}));
  EXPECT_EQ(QelBoard_ReadEeprom(0x0123), 0x5A);
  EXPECT_EQ(QelBoard_ReadEeprom(0x0122), 0xFF);
  EXPECT_EQ(QelBoard_ReadEeprom(0x0124), 0xFF);
  EXPECT_EQ(bus_.ReadMemory(kEeprom, {0x01, 0x23}, 1, true), std::vector<std::uint8_t>{0x5A});
  EXPECT_EQ(bus_.ReadMemory(kEeprom, {0x01, 0x23}, 1, false), std::vector<std::uint8_t>{0x5A});
  // A message that only sets the address writes nothing.
  EXPECT_EQ(QelBoard_ReadEeprom(0x0123), 0x5A);
  EXPECT_EQ(QelBoard_ReadEeprom(0x0124), 0xFF);
}

TEST_F(VirtualBoard, EepromReadsOnAndWrapsAtTheEnd) {
  const std::vector<std::uint8_t> tail{0x10, 0x20, 0x30, 0x40};
  for (int i = 0; i < 4; ++i) ASSERT_EQ(QelBoard_WriteEeprom((0xFFE + i) & 0xFFF, tail[i]), 1);
  ASSERT_EQ(QelBoard_WriteEeprom(0x002, 0x50), 1);
  EXPECT_EQ(bus_.ReadMemory(kEeprom, {0x0F, 0xFE}, 4), tail);
  // The counter stands after the last byte read: a current-address read goes on from there.
  EXPECT_EQ(bus_.ReceiveByte(kEeprom), 0x50);
  // The high address bits beyond the memory are not decoded.
  EXPECT_EQ(bus_.ReadMemory(kEeprom, {0xFF, 0xFF}, 1), std::vector<std::uint8_t>{0x20});
}

TEST_F(VirtualBoard, EepromWritesOnlyAtTheStopAndWithinItsPage) {
  // Cut short by a repeated start: nothing is written.
  bus_.Start();
  bus_.Write(kEeprom << 1);
  bus_.Write(0x02);
  bus_.Write(0x00);
  bus_.Write(0x77);
  EXPECT_EQ(bus_.ReadMemory(kEeprom, {0x02, 0x00}, 1), std::vector<std::uint8_t>{0xFF});
  EXPECT_EQ(QelBoard_ReadEeprom(0x200), 0xFF);

  // Three bytes from the last two of a 32-byte page: the third rolls over to its start.
  ASSERT_TRUE(bus_.WriteMemory(kEeprom, {0x00, 0x3E, 0xA1, 0xA2, 0xA3}));
  EXPECT_EQ(QelBoard_ReadEeprom(0x3E), 0xA1);
  EXPECT_EQ(QelBoard_ReadEeprom(0x3F), 0xA2);
  EXPECT_EQ(QelBoard_ReadEeprom(0x20), 0xA3);
  EXPECT_EQ(QelBoard_ReadEeprom(0x40), 0xFF);
}

TEST_F(VirtualBoard, AddressesNobodyOwnsAreNotAcknowledged) {
  for (std::uint8_t address : {0x00, 0x49, 0x4B, 0x51, 0x57, 0x7F}) {
    EXPECT_FALSE(bus_.SendByte(address, 0x5A)) << int{address};
    EXPECT_EQ(bus_.ReceiveByte(address), -1) << int{address};
  }
  EXPECT_EQ(QelBoard_GetSwitchByte(), 0);
  // The bus is free again afterwards.
  EXPECT_TRUE(bus_.SendByte(kSwitchChip, 0x42));
}

TEST_F(VirtualBoard, NothingAnswersOnTheOpenPort) {
  ASSERT_EQ(ClaimParallelPort(2, -1), 1);
  PortLines open_lines(kOpen);
  BitBanger open_bus(open_lines);
  EXPECT_FALSE(open_bus.SendByte(kSwitchChip, 0x12));
  EXPECT_EQ(open_bus.ReceiveByte(kSwitchChip), -1);
  open_bus.Start();
  open_bus.Write(kSwitchChip << 1 | 1);
  EXPECT_EQ(open_bus.Read(false), 0xFF);
  open_bus.Stop();
  EXPECT_EQ(QelBoard_GetSwitchByte(), 0);
  ReleaseParallelPort(2);
}

TEST_F(VirtualBoard, PortRegisters) {
  struct Case {
    int32_t write_address;
    int32_t value;
    int32_t read_address;
    int32_t expected;
  };
  const Case cases[] = {
      {kCabled, 0xFC, kCabled, 0xFC},         // data reads back; bits 0 and 1 clear leave the lines high
      {kCabled, 0xFC, kCabled + 1, 0x00},     // SDA high: no status bit
      {kCabled, 0x02, kCabled + 1, 0x1A},     // SDA pulled low: bits 4, 3 and 1
      {kCabled, 0x01, kCabled + 1, 0x00},     // SCL alone low
      {kCabled + 2, 0x0B, kCabled + 2, 0x0B},  // control stores its byte
      {kCabled + 1, 0xFF, kCabled + 1, 0x00},  // status cannot be written
      {kOpen, 0x03, kOpen, 0x03},
      {kOpen, 0x03, kOpen + 1, 0x00},          // nothing pulls the open port's lines
      {kOpen + 2, 0x04, kOpen + 2, 0x04},
      {0x3BC, 0x12, 0x3BC, 0xFF},              // no port there
      {0x37B, 0x12, 0x37B, 0xFF},
      {kCabled - 0x10000, 0x5C, kCabled, 0x5C},  // sign-widened 16-bit address
      {kCabled, 0xF0, kCabled + 0x10000, 0xF0},
  };
  for (const Case& c : cases) {
    QelBoard_Reset();
    EXPECT_EQ(OutByte(c.write_address, c.value), 1);
    EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_NONE);
    EXPECT_EQ(InByte(c.read_address), c.expected)
        << std::hex << "write " << c.value << " at " << c.write_address << ", read at " << c.read_address;
    EXPECT_EQ(ParPortLastError(), PARPORT_ERROR_NONE);
  }
}

// The shapes in which Quorlink's bit level writes the line codes (first letter SDA,
// second SCL; the board's codes HH 0, LH 2, LL 3, HL 1), some of which move both
// lines in one write. The chips must read them as the bus elements they stand for.
class CallerShapes {
 public:
  enum Code : std::uint8_t { HH = 0, LH = 2, LL = 3, HL = 1 };

  void Put(std::initializer_list<Code> codes) {
    for (Code code : codes) OutByte(kCabled, code);
  }
  void Start() { Put({HH, LH, LL}); }
  void Stop() { Put({LL, LH, HH}); }
  // The ninth clock with SDA released: the slave's acknowledge after a written
  // byte, the master's not-acknowledge after a read one.
  void NinthClock() { Put({HL, HH, HL, LL}); }
  void Send(std::uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) {
      if (byte >> bit & 1) {
        Put({HL, HH, HL, LL});
      } else {
        Put({LL, LH, LL, LL});
      }
    }
  }
  std::uint8_t Receive() {
    Put({LL});
    std::uint8_t byte = 0;
    for (int bit = 0; bit < 8; ++bit) {
      Put({HL, HH});
      byte = static_cast<std::uint8_t>(byte << 1 | ((InByte(kCabled + 1) & 0x10) ? 0 : 1));
      Put({HL});
    }
    return byte;
  }
  // The acknowledge wait: SDA released, the slave's hold sensed, then a clock with SDA low.
  bool WaitAck() {
    Put({HL});
    const bool acked = (InByte(kCabled + 1) & 0x10) != 0;
    Put({LH, LL});
    return acked;
  }
};

TEST_F(VirtualBoard, ChipsReadTheCallersLineShapes) {
  CallerShapes wire;
  wire.Start();
  wire.Send(kSwitchChip << 1);
  wire.NinthClock();
  wire.Send(0xA5);
  wire.NinthClock();
  wire.Stop();
  EXPECT_EQ(QelBoard_GetSwitchByte(), 0xA5);

  wire.Start();
  wire.Send(kSwitchChip << 1 | 1);
  wire.NinthClock();
  EXPECT_EQ(wire.Receive(), 0xA5);
  wire.NinthClock();
  wire.Stop();

  // A repeated start straight from SCL and SDA low, and the acknowledge wait.
  QelBoard_WriteEeprom(0x0456, 0x6B);
  wire.Start();
  wire.Send(kEeprom << 1);
  EXPECT_TRUE(wire.WaitAck());
  wire.Send(0x04);
  wire.NinthClock();
  wire.Send(0x56);
  wire.NinthClock();
  wire.Start();
  wire.Send(kEeprom << 1 | 1);
  wire.NinthClock();
  EXPECT_EQ(wire.Receive(), 0x6B);
  wire.NinthClock();
  wire.Stop();

  wire.Start();
  wire.Send(0x49 << 1);
  EXPECT_FALSE(wire.WaitAck());
  wire.Stop();
}

// Counts the port writes the bit-banger makes.
class CountingLines final : public LineDriver {
 public:
  explicit CountingLines(LineDriver& lines) : lines_(lines) {}
  void Lines(bool scl, bool sda) override {
    ++writes;
    lines_.Lines(scl, sda);
  }
  bool SdaIsHigh() override { return lines_.SdaIsHigh(); }
  int writes = 0;

 private:
  LineDriver& lines_;
};

TEST_F(VirtualBoard, TraceHoldsOneStepPerWriteAndTheLinesAsOnTheBus) {
  char path[] = "/tmp/parport2k_trace_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(QelBoard_TraceTo(path), 1);
  CountingLines counting(lines_);
  BitBanger bus(counting);
  ASSERT_TRUE(bus.SendByte(kSwitchChip, 0xA5));
  ASSERT_EQ(QelBoard_TraceTo(nullptr), 1);

  std::ifstream file(path);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  unlink(path);
  const std::size_t end_of_header = text.find("$enddefinitions $end\n");
  ASSERT_NE(end_of_header, std::string::npos);
  std::map<std::string, std::string> ids;  // signal name -> identifier
  std::istringstream header(text.substr(0, end_of_header));
  for (std::string word; header >> word;) {
    if (word != "$var") continue;
    std::string type, width, id, name;
    header >> type >> width >> id >> name;
    EXPECT_EQ(type, "wire");
    EXPECT_EQ(width, "1");
    ids[name] = id;
  }
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_NE(text.find("$timescale"), std::string::npos);

  // Replay the changes; note SDA at every rising SCL edge and at start conditions.
  std::istringstream body(text.substr(end_of_header));
  long time = -1;
  long steps = 0;
  char scl = 'x', sda = 'x';
  std::string sampled;
  int starts = 0;
  for (std::string line; std::getline(body, line);) {
    if (line.empty() || line[0] == '$') continue;
    if (line[0] == '#') {
      const long next = std::stol(line.substr(1));
      EXPECT_EQ(next, time + 1) << line;
      time = next;
      if (time > 0) ++steps;
      continue;
    }
    const std::string id = line.substr(1);
    if (id == ids["SCL"]) {
      if (scl == '0' && line[0] == '1') sampled += sda;
      scl = line[0];
    } else if (id == ids["SDA"]) {
      if (scl == '1' && sda == '1' && line[0] == '0') ++starts;
      sda = line[0];
    } else {
      ADD_FAILURE() << "unknown signal in " << line;
    }
  }
  EXPECT_EQ(steps, counting.writes + 1);  // and the closing timestamp after the last edge
  EXPECT_EQ(starts, 1);
  // Address 0x90 and data 0xA5, each followed by the chip's acknowledge (SDA held
  // low), then SCL rising ahead of the stop.
  EXPECT_EQ(sampled, "100100000" "101001010" "0");
  EXPECT_EQ(scl, '1');
  EXPECT_EQ(sda, '1');
}

TEST(VirtualBoardControls, RejectAddressesOutsideTheEeprom) {
  for (int32_t address : {-1, 4096, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(QelBoard_ReadEeprom(address), -1) << address;
    EXPECT_EQ(QelBoard_WriteEeprom(address, 0), 0) << address;
  }
  EXPECT_EQ(QelBoard_WriteEeprom(4095, 0x1234), 1);
  EXPECT_EQ(QelBoard_ReadEeprom(4095), 0x34);
}

}  // namespace
