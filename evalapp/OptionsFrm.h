// The options dialog: the chip's bus address, the parallel port and write
// verification. Every choice takes effect the moment it is made; choosing an
// address or a port reads the switches back at once. The dialog keeps no setting
// of its own: the load rebuilds its controls from Comms and the library.
#pragma once
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class OptionsFrm : public QWidget {
  Q_OBJECT

 public:
  OptionsFrm();

  // Fills the lists, selects the current address and port, sets the check box.
  void Form_Load();

  QComboBox* AddPtrCombo;
  QComboBox* PortAddressCombo;
  QLabel* Label1;
  QLabel* Label2;
  QCheckBox* VerifyWritesCombo;
  QPushButton* CloseCMD;

 private:
  void AddPtrCombo_Click();
  void PortAddressCombo_Click();
  void VerifyWritesCombo_Click();
  void CloseCMD_Click();

  // A selection made by the program counts as a choice: the list's handler runs
  // once, before the call returns, also when the entry was selected already.
  void SelectAddress(int index);
  void SelectPort(int index);
};
