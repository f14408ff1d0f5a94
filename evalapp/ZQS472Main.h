// The main window: the eight switches of the ZQS472 as a column of toggles under
// a title, and a menu bar of four commands. It holds no state of its own: the
// switch byte, the address and the verify flag live in Comms.
#pragma once
#include <QMainWindow>
#include <QPointer>
#include <array>

#include "qel/toggle.h"

class CommandBar;
class QAction;
class QLabel;
class OptionsFrm;
class frmAbout;

class ZQS472Main : public QMainWindow {
  Q_OBJECT

 public:
  // The program's one main window, created (loaded, not shown) when there is none.
  static ZQS472Main* Get();
  // Discards the window and the dialogs it loaded.
  static void Unload();

  void ShowCentred();

  qel::Toggle* ZQS472Toggle(int index) const { return toggles_[index]; }
  CommandBar* Commands() const { return commandBar_; }
  QAction* mnuQuit() const { return mnuQuit_; }
  QAction* mnuReadSwitchState() const { return mnuReadSwitchState_; }
  QAction* mnuOptions() const { return mnuOptions_; }
  QAction* mnuAbout() const { return mnuAbout_; }
  // The dialogs while they are loaded, else null.
  OptionsFrm* Options() const;
  frmAbout* About() const;

 protected:
  // The close box ends the program, whatever dialogs are still loaded.
  void closeEvent(QCloseEvent* event) override;

 private:
  ZQS472Main();
  ~ZQS472Main() override;

  void ZQS472Toggle_Flipped(int index);
  void mnuQuit_Click();
  void mnuReadSwitchState_Click();
  void mnuOptions_Click();
  void mnuAbout_Click();

  std::array<qel::Toggle*, 8> toggles_{};
  CommandBar* commandBar_;
  QAction* mnuQuit_;
  QAction* mnuReadSwitchState_;
  QAction* mnuOptions_;
  QAction* mnuAbout_;
  QPointer<OptionsFrm> options_;
  QPointer<frmAbout> about_;
};
