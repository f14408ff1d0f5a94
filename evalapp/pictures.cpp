// Draws Ambrel's windows into PNG files, for a look at them without a screen:
// the main window with every switch off, showing 0xA5 and with the keyboard on
// its commands (F10), the options dialog and the about box. The windows talk to
// a board of this program's own, with two ports, so the pictures do not depend
// on the library or a parallel port.
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <cstdio>

#include "Artwork.h"
#include "Comms.h"
#include "Link.h"
#include "OptionsFrm.h"
#include "Program.h"
#include "ZQS472Main.h"
#include "frmAbout.h"

namespace {

class PictureBoard : public Comms::Link {
 public:
  uint8_t chip = 0;
  void ShortWrite(uint8_t, uint8_t data) override { chip = data; }
  uint8_t ShortRead(uint8_t) override { return chip; }
  uint8_t PrinterPortsDetected() override { return 2; }
  void PutPortAddressIndex(uint8_t index) override { address_ = index == 1 ? 0x278 : 0x378; }
  int16_t PortAddress() override { return address_; }
  void PutPortAddress(int16_t address) override {
    if (address == 0x378 || address == 0x278) address_ = address;
  }

 private:
  int16_t address_ = 0x378;
};

bool Save(QWidget* window, const QDir& folder, const char* name) {
  const QString file = folder.filePath(QString::fromLatin1(name));
  if (!window->grab().save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(QStringLiteral("."))) return 1;
  QApplication::setWindowIcon(ProgramIcon());

  PictureBoard board;
  Comms::SetLink(&board);
  Comms::Main();
  ZQS472Main* window = ZQS472Main::Get();
  bool ok = Save(window, folder, "main-off.png");
  board.chip = 0xA5;
  window->mnuReadSwitchState()->trigger();
  ok = Save(window, folder, "main-a5.png") && ok;
  window->activateWindow();
  QCoreApplication::processEvents();
  QKeyEvent f10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &f10);
  ok = Save(window, folder, "main-commands.png") && ok;
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &esc);
  window->mnuOptions()->trigger();
  ok = Save(window->Options(), folder, "options.png") && ok;
  window->mnuAbout()->trigger();
  ok = Save(window->About(), folder, "about.png") && ok;

  ZQS472Main::Unload();
  Comms::SetLink(nullptr);
  return ok ? 0 : 1;
}
