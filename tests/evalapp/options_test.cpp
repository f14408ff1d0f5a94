// The options dialog, against a stand-in for the library.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "FakeLink.h"
#include "OptionsFrm.h"
#include "ProgramFixture.h"

class OptionsTest : public ProgramTest {
  Q_OBJECT

 public:
  OptionsTest() : ProgramTest(link, Failures::NoneAllowed) {}

 private:
  FakeLink link;

  void Prepare() override { link = FakeLink(); }

  static QStringList Entries(QComboBox* list) {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
    return entries;
  }
  // The user picks an entry of a list.
  static void Choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
  }

 private slots:
  void firstOpeningShowsTheDefaults();
  void loadSelectsTheFirstPortAgain();
  void addressChoiceReadsTheChipAtOnce_data();
  void addressChoiceReadsTheChipAtOnce();
  void closeHidesAndKeepsTheDialog();
  void noParallelPort();
  void portEntriesAreTheBasesSixteenBitPattern();
  void verifyChoiceGovernsTheNextFlip();
};

void OptionsTest::firstOpeningShowsTheDefaults() {
  OptionsFrm* options = OpenOptions();
  QVERIFY(options->isVisible());
  QCOMPARE(options->windowTitle(), QStringLiteral("Options"));
  QCOMPARE(Entries(options->AddPtrCombo), (QStringList{"48", "49", "4A", "4B"}));
  QCOMPARE(options->AddPtrCombo->currentText(), QStringLiteral("48"));
  QCOMPARE(options->VerifyWritesCombo->checkState(), Qt::Checked);
  QCOMPARE(Entries(options->PortAddressCombo), QStringList{"378"});
  QCOMPARE(options->PortAddressCombo->currentIndex(), 0);
  // The address selection and the port selection each read the chip.
  QCOMPARE(link.Reads(), (QStringList{"read 90", "read 90"}));
  // Labels show their whole text; Enter and Esc are nothing special here.
  QVERIFY(options->Label1->sizeHint().width() <= options->Label1->width());
  QVERIFY(options->Label2->sizeHint().width() <= options->Label2->width());
  QVERIFY(!options->CloseCMD->isDefault());
  QVERIFY(QTest::qWaitForWindowActive(options));
  for (QWidget* focus : {static_cast<QWidget*>(options->AddPtrCombo), static_cast<QWidget*>(options->CloseCMD)}) {
    focus->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(options->isVisible());
  }
  options->AddPtrCombo->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QVERIFY(options->isVisible());
  // The focused button takes Enter.
  options->CloseCMD->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QVERIFY(!options->isVisible());
}

// Two ports: the user chooses the second, closes with the close box, opens again.
void OptionsTest::loadSelectsTheFirstPortAgain() {
  link.SetPorts({0x378, 0x278});
  OptionsFrm* options = OpenOptions();
  options->PortAddressCombo->setFocus();
  QTest::keyClick(options->PortAddressCombo, Qt::Key_Down);  // the user's choice
  QCOMPARE(options->PortAddressCombo->currentText(), QStringLiteral("278"));
  QCOMPARE(link.address, int16_t{0x278});
  QCOMPARE(link.calls.last(), QStringLiteral("read 90"));

  options->close();
  QTRY_VERIFY(!Window()->Options());
  link.calls.clear();
  options = OpenOptions();
  QCOMPARE(Entries(options->PortAddressCombo), (QStringList{"378", "278"}));
  QCOMPARE(options->PortAddressCombo->currentText(), QStringLiteral("378"));
  QCOMPARE(link.address, int16_t{0x378});
  QCOMPARE(link.index, uint8_t{0});
  QCOMPARE(link.Reads().size(), 2);
}

void OptionsTest::addressChoiceReadsTheChipAtOnce_data() {
  QTest::addColumn<int>("entry");
  QTest::addColumn<int>("address");
  QTest::newRow("4B") << 3 << 0x96;
  QTest::newRow("49") << 1 << 0x92;
  QTest::newRow("48") << 0 << 0x90;
}

void OptionsTest::addressChoiceReadsTheChipAtOnce() {
  QFETCH(int, entry);
  QFETCH(int, address);
  OptionsFrm* options = OpenOptions();
  link.calls.clear();
  Choose(options->AddPtrCombo, entry);
  QCOMPARE(Comms::DeviceAddress, uint8_t(address));
  QCOMPARE(link.calls, QStringList{QStringLiteral("read %1").arg(QString::number(address, 16).toUpper())});
}

void OptionsTest::closeHidesAndKeepsTheDialog() {
  link.SetPorts({0x378, 0x278});
  OptionsFrm* options = OpenOptions();
  Choose(options->AddPtrCombo, 2);
  QTest::mouseClick(options->CloseCMD, Qt::LeftButton);
  QVERIFY(!options->isVisible());
  link.calls.clear();
  QCOMPARE(OpenOptions(), options);
  QVERIFY(options->isVisible());
  QVERIFY(link.calls.isEmpty());
  QCOMPARE(Entries(options->AddPtrCombo), (QStringList{"48", "49", "4A", "4B"}));
  QCOMPARE(Entries(options->PortAddressCombo), (QStringList{"378", "278"}));
  QCOMPARE(options->AddPtrCombo->currentText(), QStringLiteral("4A"));
}

void OptionsTest::noParallelPort() {
  link.SetPorts({});
  OptionsFrm* options = OpenOptions();
  QCOMPARE(options->PortAddressCombo->count(), 0);
  QCOMPARE(options->PortAddressCombo->currentIndex(), -1);
  QCOMPARE(options->AddPtrCombo->currentText(), QStringLiteral("48"));
  QCOMPARE(options->VerifyWritesCombo->checkState(), Qt::Checked);
  QCOMPARE(link.Reads().size(), 1);
  Window()->mnuReadSwitchState()->trigger();  // the program goes on
  QCOMPARE(link.Reads().size(), 2);
}

// Upper-case hexadecimal of the 16-bit pattern, no prefix, no leading zeros; a
// base of 0x8000 or above is a negative number in the library and reads back so.
void OptionsTest::portEntriesAreTheBasesSixteenBitPattern() {
  const std::vector<int16_t> bases{0x3BC, 0x10, static_cast<int16_t>(0xBC00), static_cast<int16_t>(0xFFFF)};
  link.SetPorts(bases);
  OptionsFrm* options = OpenOptions();
  QCOMPARE(Entries(options->PortAddressCombo), (QStringList{"3BC", "10", "BC00", "FFFF"}));
  for (int i = 0; i < 4; ++i) {
    link.calls.clear();
    Choose(options->PortAddressCombo, i);
    QCOMPARE(link.calls.first(), QStringLiteral("put %1").arg(bases[i]));
    QCOMPARE(link.address, bases[i]);
  }
  QCOMPARE(link.address, int16_t{-1});
}

void OptionsTest::verifyChoiceGovernsTheNextFlip() {
  OptionsFrm* options = OpenOptions();
  QTest::mouseClick(options->VerifyWritesCombo, Qt::LeftButton);
  QCOMPARE(Comms::VerifyWrites, false);
  link.calls.clear();
  Flip(4);
  QCOMPARE(link.calls, QStringList{"write 90 10"});

  QTest::mouseClick(options->VerifyWritesCombo, Qt::LeftButton);
  QCOMPARE(Comms::VerifyWrites, true);
  link.calls.clear();
  Flip(5);
  QCOMPARE(link.calls, (QStringList{"write 90 30", "read 90"}));
}

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
