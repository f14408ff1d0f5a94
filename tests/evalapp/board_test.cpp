// Ambrel end to end: the program's own link, the library registered in a
// temporary registry, and the virtual evaluation board with its ZQS472 at 0x48.
// The bus traffic is read back from the board's trace of SCL and SDA.
#include <QCheckBox>
#include <QComboBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "ComLink.h"
#include "OptionsFrm.h"
#include "ProgramFixture.h"
#include "WireTrace.h"
#include "qelboard_control.h"

class BoardTest : public ProgramTest {
  Q_OBJECT

 public:
  BoardTest() : ProgramTest(link, Failures::NoneAllowed) {}

 private:
  Comms::ComLink link;
  QTemporaryDir dir;
  QString trace;

  void Prepare() override {
    QelBoard_Reset();
    QVERIFY(QelBoard_TraceTo(trace.toLocal8Bit().constData()));
  }
  void TidyUp() override { QelBoard_TraceTo(nullptr); }

  // The transactions since the test began; the trace goes on in a new file.
  QList<Transaction> Wire() {
    QelBoard_TraceTo(nullptr);
    QList<Transaction> wire = Transactions(trace);
    QFile::remove(trace);
    QelBoard_TraceTo(trace.toLocal8Bit().constData());
    return wire;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    QCOMPARE(QProcess::execute(QStringLiteral(AMBREL_TEST_REGSVR), {QStringLiteral(AMBREL_TEST_SERVER)}), 0);
    trace = dir.filePath("bus.vcd");
  }
  void cleanupTestCase() { Comms::RurUzoz.reset(); }

  void flipReachesTheChip_data();
  void flipReachesTheChip();
  void readSwitchStateShowsTheChip();
  void verifiedFlipShowsTheWholeByte();
  void optionsOnTheBoard();
  void addressChoiceReadsAtTheNewAddress();
};

void BoardTest::flipReachesTheChip_data() {
  QTest::addColumn<int>("chip");  // the chip's byte, and the program's after a read
  QTest::addColumn<int>("index");
  QTest::addColumn<bool>("verify");
  QTest::addColumn<int>("written");
  QTest::newRow("S3 on from 0x00") << 0x00 << 2 << true << 0x04;
  QTest::newRow("S8 off from 0xFF") << 0xFF << 7 << true << 0x7F;
  QTest::newRow("S3 on, not verified") << 0x00 << 2 << false << 0x04;
}

void BoardTest::flipReachesTheChip() {
  QFETCH(int, chip);
  QFETCH(int, index);
  QFETCH(bool, verify);
  QFETCH(int, written);
  QelBoard_SetSwitchByte(chip);
  if (chip != 0) {
    Window()->mnuReadSwitchState()->trigger();
    QCOMPARE(ShownByte(), uint8_t(chip));
    Wire();
  }
  Comms::VerifyWrites = verify;
  Flip(index);
  QCOMPARE(QelBoard_GetSwitchByte(), written);
  QList<Transaction> expected{{0x90, uint8_t(written)}};
  if (verify) expected.append({0x91, uint8_t(written)});
  QCOMPARE(Wire(), expected);
  QCOMPARE(ShownByte(), uint8_t(written));
}

void BoardTest::readSwitchStateShowsTheChip() {
  QelBoard_SetSwitchByte(0x81);
  Window()->mnuReadSwitchState()->trigger();
  QCOMPARE(ShownByte(), uint8_t{0x81});
  QCOMPARE(Wire(), (QList<Transaction>{{0x91, 0x81}}));
}

// The chip holds 0xA5 (S1, S3, S6, S8 on) while the program still shows 0: after
// a flip of S2 the program writes its own picture with S2 on, and the read-back
// sets all eight toggles from the chip.
void BoardTest::verifiedFlipShowsTheWholeByte() {
  QelBoard_SetSwitchByte(0xA5);
  Flip(1);
  QCOMPARE(QelBoard_GetSwitchByte(), 0x02);
  QCOMPARE(ShownByte(), uint8_t{0x02});
  QelBoard_SetSwitchByte(0xA5);
  Window()->mnuReadSwitchState()->trigger();
  Flip(1);
  QCOMPARE(QelBoard_GetSwitchByte(), 0xA7);
  QCOMPARE(ShownByte(), uint8_t{0xA7});
}

// The board's two ports: 0x378 with the board, 0x278 with nothing on it.
void BoardTest::optionsOnTheBoard() {
  OptionsFrm* options = OpenOptions();
  QCOMPARE(options->AddPtrCombo->currentText(), QStringLiteral("48"));
  QCOMPARE(options->VerifyWritesCombo->checkState(), Qt::Checked);
  QCOMPARE(options->PortAddressCombo->count(), 2);
  QCOMPARE(options->PortAddressCombo->itemText(0), QStringLiteral("378"));
  QCOMPARE(options->PortAddressCombo->itemText(1), QStringLiteral("278"));
  QCOMPARE(options->PortAddressCombo->currentIndex(), 0);
  QCOMPARE(link.PortAddress(), int16_t{0x378});

  options->PortAddressCombo->setFocus();
  QTest::keyClick(options->PortAddressCombo, Qt::Key_Down);
  QCOMPARE(link.PortAddress(), int16_t{0x278});
  Wire();
  Comms::VerifyWrites = false;
  Flip(0);  // goes to the empty port: the chip hears nothing
  QCOMPARE(QelBoard_GetSwitchByte(), 0);
  QVERIFY(Wire().isEmpty());

  options->close();
  QTRY_VERIFY(!Window()->Options());
  options = OpenOptions();
  QCOMPARE(options->PortAddressCombo->count(), 2);
  QCOMPARE(options->PortAddressCombo->currentText(), QStringLiteral("378"));
  QCOMPARE(link.PortAddress(), int16_t{0x378});
  QCOMPARE(options->VerifyWritesCombo->checkState(), Qt::Unchecked);
}

void BoardTest::addressChoiceReadsAtTheNewAddress() {
  OptionsFrm* options = OpenOptions();
  Wire();
  options->AddPtrCombo->setCurrentIndex(3);
  emit options->AddPtrCombo->activated(3);
  QCOMPARE(Comms::DeviceAddress, uint8_t{0x96});
  QList<Transaction> wire = Wire();
  QCOMPARE(wire.size(), 1);
  QCOMPARE(wire[0].first(), uint8_t{0x97});

  QelBoard_SetSwitchByte(0x3C);
  options->AddPtrCombo->setCurrentIndex(0);
  emit options->AddPtrCombo->activated(0);
  QCOMPARE(Comms::DeviceAddress, uint8_t{0x90});
  QCOMPARE(Wire(), (QList<Transaction>{{0x91, 0x3C}}));
  QCOMPARE(ShownByte(), uint8_t{0x3C});
}

QTEST_MAIN(BoardTest)
#include "board_test.moc"
