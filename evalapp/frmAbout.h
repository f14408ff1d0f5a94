// The about box: title, version, description, a warning and a logo, with "OK"
// and a button that starts the system information tool found in the registry.
#pragma once
#include <QDialog>
#include <string>

#include "com/registry.h"

class QLabel;
class QPushButton;

class frmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget* owner);

  // Sets the version and title lines.
  void Form_Load();

  // Finds and starts the system information tool, or says that it is unavailable.
  void StartSysInfo();

  // Reads one registry value as text into KeyVal: true when the key opened and the
  // value was read. The key is opened with write rights too, so a key the user
  // may only read cannot be opened. A value of 0 bytes is an error (comrt::Error).
  static bool GetKeyValue(HKEY KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                          std::string& KeyVal);

  QPushButton* cmdOK;
  QLabel* picIcon;
  QPushButton* cmdSysInfo;
  QLabel* lblDescription;
  QLabel* lblDisclaimer;
  QLabel* lblTitle;
  QLabel* lblVersion;

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Esc presses OK, as Enter does.
  void reject() override;
  // The close box unloads the box; nothing is asked of the buttons.
  void closeEvent(QCloseEvent* event) override;

 private:
  void cmdOK_Click();
  void cmdSysInfo_Click();
};
