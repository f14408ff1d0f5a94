// The main window and the switch transfers, against a stand-in for the library.
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <system_error>

#include "FakeLink.h"
#include "OptionsFrm.h"
#include "ProgramFixture.h"
#include "Twips.h"
#include "frmAbout.h"

class MainWindowTest : public ProgramTest {
  Q_OBJECT

 public:
  MainWindowTest() : ProgramTest(link, Failures::CheckedByTests) {}

 private:
  FakeLink link;

  void Prepare() override { link = FakeLink(); }

 private slots:
  void startsWithDefaultsAndNoLibraryCall();
  void flipWritesTheSwitchByte_data();
  void flipWritesTheSwitchByte();
  void readSwitchStateShowsTheChip();
  void unclaimablePortFallsBackToOff();
  void menuCommandsActWhenClicked();
  void keyboardReachesTheCommands_data();
  void keyboardReachesTheCommands();
  void failingCallEndsTheHandler();
  void failingCallShowsItsMessageAndEndsTheProgram();
  void anyOtherExceptionEndsTheProgramTheSameWay();
  void optionsTwiceShowsOneDialog();
  void quitEndsTheProgramWithDialogsOpen_data();
  void quitEndsTheProgramWithDialogsOpen();
  void fixedSizeWindowWithMinimiseOnly();
};

void MainWindowTest::startsWithDefaultsAndNoLibraryCall() {
  QCOMPARE(Comms::DeviceAddress, uint8_t{0x90});
  QCOMPARE(Comms::VerifyWrites, true);
  QCOMPARE(Comms::SwitchState, uint8_t{0});
  QCOMPARE(ShownByte(), uint8_t{0});
  QVERIFY(link.calls.isEmpty());
  QVERIFY(Window()->isVisible());
  QCOMPARE(Window()->windowTitle(), QStringLiteral("ZQS472 Evaluation Software"));
}

void MainWindowTest::flipWritesTheSwitchByte_data() {
  QTest::addColumn<int>("start");     // switch state and toggles before the flip
  QTest::addColumn<int>("index");     // the toggle the user flips
  QTest::addColumn<bool>("verify");
  QTest::addColumn<int>("answer");    // what the chip answers, -1: what it was sent
  QTest::addColumn<QStringList>("calls");
  QTest::addColumn<int>("shown");

  QTest::newRow("S3 on, verified") << 0x00 << 2 << true << -1 << QStringList{"write 90 04", "read 90"} << 0x04;
  QTest::newRow("S8 off, verified") << 0xFF << 7 << true << -1 << QStringList{"write 90 7F", "read 90"} << 0x7F;
  QTest::newRow("read-back sets all eight")
      << 0x00 << 0 << true << 0xA5 << QStringList{"write 90 01", "read 90"} << 0xA5;
  QTest::newRow("not verified: one write, user's positions stay")
      << 0x00 << 2 << false << 0xA5 << QStringList{"write 90 04"} << 0x04;
  QTest::newRow("S8 off, not verified") << 0xFF << 7 << false << -1 << QStringList{"write 90 7F"} << 0x7F;
}

void MainWindowTest::flipWritesTheSwitchByte() {
  QFETCH(int, start);
  QFETCH(int, index);
  QFETCH(bool, verify);
  QFETCH(int, answer);
  QFETCH(QStringList, calls);
  QFETCH(int, shown);
  Comms::SwitchState = static_cast<uint8_t>(start);
  ShowByte(static_cast<uint8_t>(start));
  Comms::VerifyWrites = verify;
  if (answer >= 0) link.answer = static_cast<uint8_t>(answer);

  Flip(index);

  QCOMPARE(link.calls, calls);
  QCOMPARE(ShownByte(), uint8_t(shown));
  QCOMPARE(Comms::SwitchState, uint8_t(shown));
  QVERIFY(failures.errors.empty());
}

void MainWindowTest::readSwitchStateShowsTheChip() {
  link.chip = 0x81;
  ShowByte(0x7E);
  ClickMenu(Window()->mnuReadSwitchState());
  QCOMPARE(link.calls, QStringList{"read 90"});
  QCOMPARE(ShownByte(), uint8_t{0x81});
  QCOMPARE(Comms::SwitchState, uint8_t{0x81});
}

void MainWindowTest::unclaimablePortFallsBackToOff() {
  link.SetPorts({});
  Flip(0);
  QCOMPARE(link.calls, (QStringList{"write 90 01", "read 90"}));
  QCOMPARE(ShownByte(), uint8_t{0});
  QCOMPARE(Comms::SwitchState, uint8_t{0});
}

void MainWindowTest::menuCommandsActWhenClicked() {
  QStringList captions;
  for (QAction* action : Window()->Commands()->Commands()) captions << action->text();
  QCOMPARE(captions, (QStringList{"Quit", "Read Switch State", "Options", "About"}));

  ClickMenu(Window()->mnuOptions());
  QVERIFY(Window()->Options() && Window()->Options()->isVisible());
  ClickMenu(Window()->mnuAbout());
  QVERIFY(Window()->About() && Window()->About()->isVisible());
  QSignalSpy quit(Window()->mnuQuit(), &QAction::triggered);
  ClickMenu(Window()->mnuQuit());
  QCOMPARE(quit.count(), 1);
  QVERIFY(!Window()->isVisible());
}

namespace {
// Keys of a row: Qt key codes, or one of these.
constexpr int kAltAlone = -1;    // Alt pressed and let go with no other key
constexpr int kAltAndKey = -2;   // Alt held while S is typed
}  // namespace

void MainWindowTest::keyboardReachesTheCommands_data() {
  QTest::addColumn<QList<int>>("keys");
  QTest::addColumn<int>("focused");  // the command that has the focus after them, -1: none
  QTest::addColumn<QStringList>("calls");
  using K = QList<int>;
  const QStringList none;
  QTest::newRow("F10 enters on the first") << K{Qt::Key_F10} << 0 << none;
  QTest::newRow("Alt alone enters") << K{kAltAlone} << 0 << none;
  QTest::newRow("Alt with a key does not") << K{kAltAndKey} << -1 << none;
  QTest::newRow("Right moves round the four")
      << K{Qt::Key_F10, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right} << 0 << none;
  QTest::newRow("Left from the first goes to the last") << K{Qt::Key_F10, Qt::Key_Left} << 3 << none;
  QTest::newRow("Down and Up") << K{Qt::Key_F10, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up} << 1 << none;
  QTest::newRow("Esc leaves") << K{Qt::Key_F10, Qt::Key_Right, Qt::Key_Escape} << -1 << none;
  QTest::newRow("F10 again leaves") << K{Qt::Key_F10, Qt::Key_F10} << -1 << none;
  QTest::newRow("Alt again leaves") << K{kAltAlone, Qt::Key_Right, kAltAlone} << -1 << none;
  const QStringList read{"read 90"};
  QTest::newRow("Enter chooses") << K{Qt::Key_F10, Qt::Key_Right, Qt::Key_Return} << -1 << read;
  QTest::newRow("keypad Enter chooses") << K{Qt::Key_F10, Qt::Key_Right, Qt::Key_Enter} << -1 << read;
  QTest::newRow("Space chooses") << K{Qt::Key_F10, Qt::Key_Right, Qt::Key_Space} << -1 << read;
}

// The commands from the keyboard, starting with the focus on S3; leaving the
// commands gives the focus back to S3.
void MainWindowTest::keyboardReachesTheCommands() {
  QFETCH(QList<int>, keys);
  QFETCH(int, focused);
  QFETCH(QStringList, calls);
  Window()->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(Window()));
  qel::Toggle* s3 = Window()->ZQS472Toggle(2);
  s3->setFocus();
  QCOMPARE(QApplication::focusWidget(), s3);
  for (int key : keys) {
    QWidget* target = QApplication::focusWidget();
    QVERIFY(target);
    if (key == kAltAlone) {
      QTest::keyPress(target, Qt::Key_Alt);
      QTest::keyRelease(target, Qt::Key_Alt);
    } else if (key == kAltAndKey) {
      QTest::keyPress(target, Qt::Key_Alt);
      QTest::keyClick(target, Qt::Key_S, Qt::AltModifier);
      QTest::keyRelease(target, Qt::Key_Alt);
    } else {
      QTest::keyClick(target, static_cast<Qt::Key>(key));
    }
  }
  const QList<QAction*> commands = Window()->Commands()->Commands();
  QToolButton* entry = Window()->Commands()->FocusedEntry();
  QCOMPARE(entry ? static_cast<int>(commands.indexOf(entry->defaultAction())) : -1, focused);
  if (focused < 0) QCOMPARE(QApplication::focusWidget(), s3);
  QCOMPARE(link.calls, calls);
  QCOMPARE(ShownByte(), uint8_t{0});  // no key reached a toggle
}

void MainWindowTest::failingCallEndsTheHandler() {
  link.fail = comrt::Error(53, "File not found: libparport2k.so");
  Flip(0);
  QCOMPARE(failures.errors.size(), size_t{1});
  QCOMPARE(failures.errors[0].number(), 53);
  QCOMPARE(failures.errors[0].description(), std::string("File not found: libparport2k.so"));
  // The read-back after the write never ran.
  QCOMPARE(link.calls, QStringList{"write 90 01"});
}

void MainWindowTest::anyOtherExceptionEndsTheProgramTheSameWay() {
  bool after = false;
  Program::Handle([&] {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    after = true;
  });
  QVERIFY(!after);
  QCOMPARE(failures.errors.size(), size_t{1});
  QCOMPARE(failures.errors[0].number(), 51);
}

void MainWindowTest::failingCallShowsItsMessageAndEndsTheProgram() {
  Program::SetFailSink({});
  link.fail = comrt::Error(53, "File not found: libparport2k.so");
  ModalAnswer box;
  const int exitCode = RunUntilEnd([] { ClickMenu(Window()->mnuReadSwitchState()); });
  QCOMPARE(exitCode, 1);
  QVERIFY(box.seen);
  QCOMPARE(box.title, QStringLiteral("Ambrel"));
  QVERIFY2(box.text.contains("53") && box.text.contains("File not found: libparport2k.so"), qPrintable(box.text));
  QVERIFY(!Window()->isVisible());
  QCOMPARE(ShownByte(), uint8_t{0});
}

void MainWindowTest::optionsTwiceShowsOneDialog() {
  Window()->mnuOptions()->trigger();
  OptionsFrm* first = Window()->Options();
  QVERIFY(first);
  const QStringList afterLoad = link.calls;
  Window()->mnuOptions()->trigger();
  QCOMPARE(Window()->Options(), first);
  QVERIFY(first->isVisible());
  QCOMPARE(link.calls, afterLoad);  // no second load
  QCOMPARE(first->AddPtrCombo->count(), 4);
}

void MainWindowTest::quitEndsTheProgramWithDialogsOpen_data() {
  QTest::addColumn<bool>("byCloseBox");
  QTest::addColumn<bool>("optionsHidden");  // options loaded but hidden by its Close button
  QTest::newRow("Quit") << false << false;
  QTest::newRow("close box") << true << false;
  QTest::newRow("close box, options hidden") << true << true;
}

void MainWindowTest::quitEndsTheProgramWithDialogsOpen() {
  QFETCH(bool, byCloseBox);
  QFETCH(bool, optionsHidden);
  Window()->mnuOptions()->trigger();
  Window()->mnuAbout()->trigger();
  if (optionsHidden) Window()->Options()->CloseCMD->click();
  const int exitCode = RunUntilEnd([byCloseBox] {
    if (byCloseBox)
      Window()->close();
    else
      ClickMenu(Window()->mnuQuit());
  });
  QCOMPARE(exitCode, 0);
  for (QWidget* window : QApplication::topLevelWidgets()) QVERIFY2(!window->isVisible(), qPrintable(window->windowTitle()));
}

void MainWindowTest::fixedSizeWindowWithMinimiseOnly() {
  ZQS472Main* window = Window();
  const Qt::WindowFlags flags = window->windowFlags();
  QVERIFY(flags & Qt::WindowMinimizeButtonHint);
  QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
  QCOMPARE(window->minimumSize(), window->maximumSize());
  const QSize size = window->size();
  window->resize(size + QSize(100, 100));
  QCOMPARE(window->size(), size);
  QCOMPARE(window->centralWidget()->size(), TwipsSize(3495, 7665));
  QVERIFY(window->rect().contains(window->centralWidget()->geometry()));
  QVERIFY(window->rect().contains(window->Commands()->geometry()));
  QCOMPARE(window->ZQS472Toggle(7)->geometry(), TwipsRect(1140, 855 + 780 * 7, 1275, 795));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
