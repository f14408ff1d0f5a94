// Starts and stops the program inside a test: Main with a given link, errors
// recorded instead of ending the process, and helpers that act as the user does.
#pragma once
#include <QApplication>
#include <QToolButton>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <vector>

#include "CommandBar.h"
#include "Comms.h"
#include "Link.h"
#include "OptionsFrm.h"
#include "Program.h"
#include "ZQS472Main.h"
#include "frmAbout.h"

struct RecordedFailures {
  std::vector<comrt::Error> errors;
  void Install() {
    errors.clear();
    Program::SetFailSink([this](const comrt::Error& e) { errors.push_back(e); });
  }
};

inline void StartProgram(Comms::Link& link) {
  Comms::SetLink(&link);
  Comms::SwitchState = 0;
  Comms::Main();
}

inline void StopProgram() {
  ZQS472Main::Unload();
  Program::SetFailSink({});
  Comms::SetLink(nullptr);
}

inline ZQS472Main* Window() { return ZQS472Main::Get(); }

// The frame of a suite that runs the program: before each test function the
// program starts on the suite's link with its failures recorded, after it the
// program stops. QtTest finds these slots through the suite, which adds what it
// needs around them in Prepare() and TidyUp().
class ProgramTest : public QObject {
  Q_OBJECT

 protected:
  // Whether a test may leave failures for its own checks, or none at all.
  enum class Failures { CheckedByTests, NoneAllowed };

  // `link` may be a member of the suite not yet made: it is used from init() on.
  ProgramTest(Comms::Link& link, Failures failures) : link_(link), failuresAllowed_(failures == Failures::CheckedByTests) {}

  // Before the program starts; a failed check there skips the start.
  virtual void Prepare() {}
  // After the program has stopped.
  virtual void TidyUp() {}

  RecordedFailures failures;

 private slots:
  void init() {
    Prepare();
    if (QTest::currentTestFailed()) return;
    failures.Install();
    StartProgram(link_);
  }
  // The program stops and the suite tidies up also when the check fails, so
  // that one failure does not carry into the next test.
  void cleanup() {
    const bool clean = failuresAllowed_ || failures.errors.empty();
    StopProgram();
    TidyUp();
    QVERIFY(clean);
  }

 private:
  Comms::Link& link_;
  const bool failuresAllowed_;
};

// The byte the eight toggles show, S1 in bit 0.
inline uint8_t ShownByte() {
  unsigned byte = 0;
  for (int i = 0; i < 8; ++i) byte |= (Window()->ZQS472Toggle(i)->value() ? 1u : 0u) << i;
  return static_cast<uint8_t>(byte);
}

// Sets the toggles from a byte the way the program does (no event).
inline void ShowByte(uint8_t byte) {
  for (int i = 0; i < 8; ++i) Window()->ZQS472Toggle(i)->setValue((byte >> i) & 1);
}

// The dialogs as the main window's commands open them.
inline OptionsFrm* OpenOptions() {
  Window()->mnuOptions()->trigger();
  return Window()->Options();
}
inline frmAbout* OpenAbout() {
  Window()->mnuAbout()->trigger();
  return Window()->About();
}

inline void Flip(int index) { QTest::mouseClick(Window()->ZQS472Toggle(index), Qt::LeftButton); }

// Clicks a top-level command of the main window's menu bar where it is drawn.
inline void ClickMenu(QAction* action) {
  QToolButton* entry = Window()->Commands()->Entry(action);
  QVERIFY(entry && entry->isVisible());
  QVERIFY(Window()->Commands()->rect().contains(entry->geometry()));
  QTest::mouseClick(entry, Qt::LeftButton);
}

// Answers the next modal window (a message box) with its default button once it
// is up, and keeps what it said.
class ModalAnswer : public QObject {
 public:
  QString title, text;
  bool seen = false;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  qsizetype buttonCount = 0;

  ModalAnswer() {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      seen = true;
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      buttonCount = box->buttons().size();
      timer->stop();
      box->button(QMessageBox::Ok)->click();
    });
    timer->start(10);
  }
};

// Runs the program's event loop until the program ends itself, or gives up.
inline int RunUntilEnd(const std::function<void()>& act, int timeoutMs = 10000) {
  QTimer::singleShot(0, act);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-99); });
  guard.start(timeoutMs);
  return QApplication::exec();
}
